#include "support.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/problem_header.h"

extern char** environ;

std::string fixturePath(const std::string& name) {
    return std::string(KELVARO_SOURCE_DIR) + "/tests/program/fixtures/" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ReadOutcome readProblemText(const std::string& text) {
    resetProblemHeader(problem);
    enteredSequence.clear();
    ReadOutcome outcome{};
    std::istringstream in(text);
    outcome.accepted = readProblemFile(in, outcome.setup, outcome.refusal);
    return outcome;
}

std::string problemWithRows(const std::vector<std::string>& rows, const std::string& defenderHand,
                            const std::string& attackerHand) {
    std::string text = "後手の持駒：" + defenderHand + "\n";
    text += "  ９ ８ ７ ６ ５ ４ ３ ２ １\n";
    text += "+---------------------------+\n";
    for (const std::string& row : rows) text += row + "\n";
    text += "+---------------------------+\n";
    text += "先手の持駒：" + attackerHand + "\n";
    return text;
}

ProgramRun runKelvaro(const std::vector<std::string>& arguments, const std::string& locale,
                      const std::string& stdinText) {
    const std::string binary = std::string(KELVARO_BINARY_DIR) + "/kelvaro";
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "LC_", 3) != 0 && std::strncmp(*e, "LANG", 4) != 0) environment.emplace_back(*e);
    environment.push_back("LC_ALL=" + locale);
    std::vector<char*> envp, argv;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = {binary};
    args.insert(args.end(), arguments.begin(), arguments.end());
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int input[2], output[2];
    if (pipe(input) != 0 || pipe(output) != 0) return {-1, "pipe failed"};
    pid_t child = fork();
    if (child == 0) {
        dup2(input[0], STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        dup2(output[1], STDERR_FILENO);
        close(input[0]);
        close(input[1]);
        close(output[0]);
        close(output[1]);
        execve(binary.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    // The inputs are small: they fit the pipe before the program reads them.
    if (!stdinText.empty()) [[maybe_unused]] ssize_t n = write(input[1], stdinText.data(), stdinText.size());
    close(input[1]);
    ProgramRun run{-1, {}};
    char buffer[4096];
    ssize_t n;
    while ((n = read(output[0], buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        run.output.append(buffer, size_t(n));
    }
    close(output[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

std::string utf8ToCp932(const std::string& text) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::string out(text.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}
