// Capturing what the program writes to the console.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// Standard input and output of the process replaced for one scope: the
// answer comes from a pipe, the console goes to a file.
class RedirectedConsole {
public:
    explicit RedirectedConsole(const std::string& answer) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) return;
        [[maybe_unused]] ssize_t n = write(pipeFds[1], answer.data(), answer.size());
        close(pipeFds[1]);
        savedIn_ = dup(0);
        dup2(pipeFds[0], 0);
        close(pipeFds[0]);
        std::fflush(stdout);
        char name[] = "/tmp/kelvaro-console-XXXXXX";
        outFd_ = mkstemp(name);
        path_ = name;
        savedOut_ = dup(1);
        dup2(outFd_, 1);
    }
    ~RedirectedConsole() { restore(); }
    // Puts the descriptors back; the console text written so far.
    std::string restore() {
        if (savedOut_ >= 0) {
            std::fflush(stdout);
            dup2(savedOut_, 1);
            close(savedOut_);
            savedOut_ = -1;
            dup2(savedIn_, 0);
            close(savedIn_);
            FILE* f = std::fopen(path_.c_str(), "rb");
            if (f) {
                char buffer[4096];
                size_t n;
                while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text_.append(buffer, n);
                std::fclose(f);
            }
            close(outFd_);
            unlink(path_.c_str());
        }
        return text_;
    }

private:
    int savedIn_ = -1, savedOut_ = -1, outFd_ = -1;
    std::string path_, text_;
};
