// Running build/kelvaro as a user does: a problem file in a directory of its
// own, standard input scripted (and closed at its end), LC_ALL=C.UTF-8. The
// console output is converted back to CP932, so that expectations can be
// written as ordinary literals (the tests are compiled to CP932 like the
// program). Expectations may hold "{*}", which matches any text (elapsed
// times, node counts, whatever the test does not pin down).
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace harness {

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Converts between encodings; ok is cleared when the text does not convert
// completely.
inline std::string convert(const std::string& text, const char* to, const char* from, bool* ok = nullptr) {
    iconv_t cd = iconv_open(to, from);
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (ok) *ok = r != size_t(-1) && inLeft == 0;
    out.resize(out.size() - outLeft);
    return out;
}
inline std::string cp932ToUtf8(const std::string& text) { return convert(text, "UTF-8", "CP932"); }
inline std::string utf8ToCp932(const std::string& text) { return convert(text, "CP932", "UTF-8"); }
inline bool isCp932Text(const std::string& text) {
    bool ok = false;
    convert(text, "UTF-8", "CP932", &ok);
    return ok;
}

// Whether text matches pattern, "{*}" in the pattern standing for any text.
inline bool matches(const std::string& text, const std::string& pattern) {
    static const std::string any = "{*}";
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t at = pattern.find(any, start);
        parts.push_back(pattern.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) break;
        start = at + any.size();
    }
    if (parts.size() == 1) return text == pattern;
    if (text.compare(0, parts.front().size(), parts.front()) != 0) return false;
    size_t pos = parts.front().size();
    for (size_t i = 1; i + 1 < parts.size(); ++i) {
        const size_t at = text.find(parts[i], pos);
        if (at == std::string::npos) return false;
        pos = at + parts[i].size();
    }
    const std::string& last = parts.back();
    return text.size() >= pos + last.size() && text.compare(text.size() - last.size(), last.size(), last) == 0;
}

// For failure messages: CP932 shown as UTF-8.
inline std::string shown(const std::string& cp932) {
    std::string text(1, '\n');
    text.append(cp932ToUtf8(cp932)).push_back('\n');
    return text;
}

#define EXPECT_MATCH(text, pattern) EXPECT_TRUE(::harness::matches(text, pattern)) << ::harness::shown(text)

struct RunResult {
    int exitCode = -1;
    std::string console;  // CP932
};

// The bytes of a problem file, as they are.
struct RawText {
    std::string bytes;
};

// A problem file (CP932 text, lines joined with CR LF as the usual record
// writers do) in a fresh temporary directory, removed afterwards.
class ProblemFile {
public:
    explicit ProblemFile(const std::vector<std::string>& lines, const std::string& name = "problem.kif") {
        std::string text;
        for (const std::string& line : lines) text += line + "\r\n";
        create(text, name);
    }
    explicit ProblemFile(const RawText& raw, const std::string& name = "problem.kif") { create(raw.bytes, name); }
    ~ProblemFile() { removeTree(dir_); }
    ProblemFile(const ProblemFile&) = delete;
    ProblemFile& operator=(const ProblemFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& dir() const { return dir_; }
    std::string reportPath() const { return path_ + ".txt"; }
    std::string report() const { return readFile(reportPath()); }

    // Runs the program on the file; it is killed after timeoutSeconds.
    RunResult run(const std::string& stdinText = "", unsigned timeoutSeconds = 60) const {
        return runProgram({path_}, stdinText, timeoutSeconds);
    }

    static RunResult runProgram(const std::vector<std::string>& arguments, const std::string& stdinText,
                                unsigned timeoutSeconds) {
        const std::string binary = std::string(KELVARO_BINARY_DIR) + "/kelvaro";
        std::vector<std::string> environment;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "LC_", 3) != 0 && std::strncmp(*e, "LANG", 4) != 0) environment.emplace_back(*e);
        environment.push_back("LC_ALL=C.UTF-8");
        std::vector<char*> envp, argv;
        for (std::string& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = {binary};
        args.insert(args.end(), arguments.begin(), arguments.end());
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        // Standard input from a file: the program may read it at any time.
        char inputName[] = "/tmp/kelvaro-input-XXXXXX";
        const int inputFd = mkstemp(inputName);
        if (inputFd < 0) return {};
        if (!stdinText.empty()) [[maybe_unused]] ssize_t n = write(inputFd, stdinText.data(), stdinText.size());
        lseek(inputFd, 0, SEEK_SET);
        unlink(inputName);

        int output[2];
        if (pipe(output) != 0) return {};
        const pid_t child = fork();
        if (child == 0) {
            dup2(inputFd, STDIN_FILENO);
            dup2(output[1], STDOUT_FILENO);
            dup2(output[1], STDERR_FILENO);
            close(inputFd);
            close(output[0]);
            close(output[1]);
            alarm(timeoutSeconds);  // survives exec: a runaway run is killed
            execve(binary.c_str(), argv.data(), envp.data());
            _exit(127);
        }
        close(inputFd);
        close(output[1]);
        RunResult run;
        std::string utf8;
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(output[0], buffer, sizeof buffer);
            if (n == 0) break;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            utf8.append(buffer, size_t(n));
        }
        close(output[0]);
        int status = 0;
        waitpid(child, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.console = utf8ToCp932(utf8);
        return run;
    }

private:
    void create(const std::string& text, const std::string& name) {
        char pattern[] = "/tmp/kelvaro-driver-XXXXXX";
        const char* made = mkdtemp(pattern);
        dir_ = made ? made : "/tmp";
        path_ = dir_ + "/" + name;
        writeFile(path_, text);
    }

    static void removeTree(const std::string& dir) {
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) {
                const std::string name = e->d_name;
                if (name == "." || name == "..") continue;
                const std::string path = dir + "/" + name;
                struct stat st;
                if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                    removeTree(path);
                else
                    unlink(path.c_str());
            }
            closedir(d);
        }
        rmdir(dir.c_str());
    }

    std::string dir_;
    std::string path_;
};

// --- a run on a terminal, for the keys of a running search ---

// (<chrono> does not compile with the CP932 execution character set.)
inline double monotonicSeconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// One step of a terminal dialogue: wait until the console shows `waitFor`
// (CP932, after the text of the previous steps), then type `keys`.
struct TerminalStep {
    std::string waitFor;
    std::string keys;
    int delayMs = 0;  // pause between seeing the text and typing
};

// A user and group to run the program as, instead of the test's own.
struct Identity {
    uid_t uid;
    gid_t gid;
};

// Runs the program on a pseudo-terminal, so that it polls keys as it does
// for a user. The console text is returned in CP932 without the terminal's
// escape sequences and carriage returns; what the terminal echoes of the
// typed answers stays in it. Empty console and exit code -1 when a step
// waited longer than stepSeconds. With runAs, the program runs as that user
// (the test must be root to switch) and with no supplementary groups.
inline RunResult runOnTerminal(const std::vector<std::string>& arguments, const std::vector<TerminalStep>& steps,
                               int stepSeconds = 30, const Identity* runAs = nullptr) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return {};
    const std::string slaveName = ptsname(master);
    const std::string binary = std::string(KELVARO_BINARY_DIR) + "/kelvaro";
    std::vector<std::string> args = {binary};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const int slave = open(slaveName.c_str(), O_RDWR);
        dup2(slave, STDIN_FILENO);
        dup2(slave, STDOUT_FILENO);
        dup2(slave, STDERR_FILENO);
        close(slave);
        close(master);
        if (runAs && (setgroups(0, nullptr) != 0 || setgid(runAs->gid) != 0 || setuid(runAs->uid) != 0)) _exit(126);
        setenv("LC_ALL", "C.UTF-8", 1);
        setenv("TERM", "xterm", 1);
        alarm(600);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }

    std::string raw;
    auto readSome = [&](int timeoutMs) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) return false;
        raw.append(buffer, size_t(n));
        return true;
    };
    auto cleaned = [&]() {
        std::string text;
        for (size_t i = 0; i < raw.size(); ++i) {
            const char c = raw[i];
            if (c == '\r') continue;
            if (c == '\x1b' && i + 1 < raw.size() && raw[i + 1] == ']') {  // title: up to BEL
                while (i < raw.size() && raw[i] != '\x07') ++i;
                continue;
            }
            if (c == '\x1b' && i + 1 < raw.size() && raw[i + 1] == '[') {  // colour: up to the final letter
                i += 2;
                while (i < raw.size() && !(raw[i] >= '@' && raw[i] <= '~')) ++i;
                continue;
            }
            text.push_back(c);
        }
        return utf8ToCp932(text);
    };

    bool ok = true;
    size_t seen = 0;
    for (const TerminalStep& step : steps) {
        const double deadline = monotonicSeconds() + stepSeconds;
        size_t at;
        while ((at = cleaned().find(step.waitFor, seen)) == std::string::npos) {
            if (monotonicSeconds() > deadline) {
                ok = false;
                break;
            }
            readSome(100);
        }
        if (!ok) break;
        seen = at + step.waitFor.size();
        if (step.delayMs) usleep(useconds_t(step.delayMs) * 1000);
        [[maybe_unused]] ssize_t n = write(master, step.keys.data(), step.keys.size());
    }
    if (!ok) kill(child, SIGKILL);
    while (readSome(ok ? 5000 : 100)) {
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(master);
    RunResult run;
    run.exitCode = !ok ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.console = cleaned();
    return run;
}

// A run on a terminal that stops where `stops` says, as if ESC were pressed
// there: KELVARO_TEST_STOPS lists STAGE@N, N positions into the stage
// (solve, shorter, verify), a point that is the same on every machine.
inline RunResult runOnTerminalStoppedAt(const std::string& stops, const std::vector<std::string>& arguments,
                                        const std::vector<TerminalStep>& steps, const Identity* runAs = nullptr) {
    setenv("KELVARO_TEST_STOPS", stops.c_str(), 1);
    const RunResult run = runOnTerminal(arguments, steps, 30, runAs);
    unsetenv("KELVARO_TEST_STOPS");
    return run;
}

// --- writing problems and the diagrams the program prints for them ---

// Nine board rows in the diagram's own form, "| ・ ・ … ・v玉|一".
using Rows = std::vector<std::string>;

struct Problem {
    std::vector<std::string> header;  // lines before the hands ("手数：3", "分類：…", "備考：…")
    std::string defenderHand = "なし";
    Rows rows;
    std::string attackerHand = "なし";
    std::vector<std::string> moveList;  // lines after "手数----指手"

    std::vector<std::string> lines() const {
        std::vector<std::string> out = header;
        out.push_back("後手の持駒：" + defenderHand);
        out.push_back("  ９ ８ ７ ６ ５ ４ ３ ２ １");
        out.push_back("+---------------------------+");
        out.insert(out.end(), rows.begin(), rows.end());
        out.push_back("+---------------------------+");
        out.push_back("先手の持駒：" + attackerHand);
        if (!moveList.empty()) {
            out.push_back("手数----指手---------消費時間--");
            out.insert(out.end(), moveList.begin(), moveList.end());
        }
        return out;
    }
};

// The diagram as the program prints it; the hands in its own form ("金 ",
// "なし").
inline std::string diagram(const Rows& rows, const std::string& defenderHand, const std::string& attackerHand) {
    std::string text = "持駒：" + defenderHand + "\n";
    text += "  ９ ８ ７ ６ ５ ４ ３ ２ １ \n";
    text += "+---------------------------+\n";
    for (const std::string& row : rows) text += row + "\n";
    text += "+---------------------------+\n";
    text += "持駒：" + attackerHand + "\n";
    return text;
}

// The closing block; what varies from run to run (time, counts, table use)
// is left open.
inline std::string closingBlock(const std::string& notes = "", const std::string& ending = "\n\n") {
    return "\n所要時間：{*}秒 探索局面数：{*}\n局面表：{*}/1048575 ({*}％)\nChecked by Kelvaro 1.07" + notes + ending;
}

constexpr const char* KEY_WAIT = "何かキーを押してください...";

}  // namespace harness
