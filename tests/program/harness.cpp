#include "harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <iconv.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace harness {

// --- files ---

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string sourcePath(const std::string& relative) { return std::string(KELVARO_SOURCE_DIR) + "/" + relative; }

std::string fixturePath(const std::string& name) { return sourcePath("tests/program/fixtures/" + name); }

testing::AssertionResult fileHolds(const std::string& path, const std::string& bytes) {
    const std::string held = readFile(path);
    if (held == bytes) return testing::AssertionSuccess();
    size_t at = 0;
    while (at < held.size() && at < bytes.size() && held[at] == bytes[at]) ++at;
    return testing::AssertionFailure() << path << " holds " << held.size() << " bytes, not the " << bytes.size()
                                       << " expected; they differ from byte " << at << " on";
}

// --- text ---

std::string convert(const std::string& text, const char* to, const char* from, bool* ok) {
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

bool isCp932Text(const std::string& text) {
    bool ok = false;
    convert(text, "UTF-8", "CP932", &ok);
    return ok;
}

bool matches(const std::string& text, const std::string& pattern) {
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

std::string shown(const std::string& cp932) {
    std::string text(1, '\n');
    text.append(cp932ToUtf8(cp932)).push_back('\n');
    return text;
}

// --- running a program ---

std::string testStops(const std::string& stops) { return "KELVARO_TEST_STOPS=" + stops; }

namespace {

// (<chrono> does not compile with the CP932 execution character set.)
double monotonicSeconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

bool isUtf8Locale(const std::string& locale) {
    return locale.find("UTF-8") != std::string::npos || locale.find("utf8") != std::string::npos;
}

int exitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// The program's path, arguments and environment, made before the fork: the
// child only sets up its descriptors and calls exec.
class Invocation {
public:
    explicit Invocation(const Command& command) : command_(command) {
        path_ = std::string(KELVARO_BINARY_DIR) + "/" + command.program;
        arguments_.push_back(path_);
        arguments_.insert(arguments_.end(), command.arguments.begin(), command.arguments.end());
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "LC_", 3) != 0 && std::strncmp(*e, "LANG", 4) != 0) environment_.emplace_back(*e);
        environment_.push_back("LC_ALL=" + command.locale);
        environment_.insert(environment_.end(), command.environment.begin(), command.environment.end());
        // The pointers only once the strings stay where they are.
        for (std::string& a : arguments_) argv_.push_back(a.data());
        argv_.push_back(nullptr);
        for (std::string& e : environment_) envp_.push_back(e.data());
        envp_.push_back(nullptr);
    }

    // In the child, its descriptors set; never returns.
    [[noreturn]] void exec() const {
        const std::optional<Identity>& as = command_.runAs;
        if (as && (setgroups(0, nullptr) != 0 || setgid(as->gid) != 0 || setuid(as->uid) != 0)) _exit(126);
        if (!command_.workingDirectory.empty() && chdir(command_.workingDirectory.c_str()) != 0) _exit(126);
        if (const std::optional<rlim_t>& limit = command_.fileSizeLimit) {
            const rlimit size{*limit, *limit};
            if (setrlimit(RLIMIT_FSIZE, &size) != 0) _exit(126);
            signal(SIGXFSZ, SIG_IGN);
        }
        alarm(command_.timeoutSeconds);
        // A pipe session makes the test ignore SIGPIPE; the program keeps
        // the default.
        signal(SIGPIPE, SIG_DFL);
        execve(path_.c_str(), argv_.data(), envp_.data());
        _exit(127);
    }

private:
    const Command& command_;
    std::string path_;
    std::vector<std::string> arguments_, environment_;
    std::vector<char*> argv_, envp_;
};

// A file holding the input, already unlinked: the program may read it at
// any time, and an input larger than a pipe holds cannot block the test.
int inputFile(const std::string& text) {
    char name[] = "/tmp/kelvaro-input-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return -1;
    unlink(name);
    if (!text.empty()) [[maybe_unused]] ssize_t n = write(fd, text.data(), text.size());
    lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string readToEnd(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, size_t(n));
        else if (n == 0 || errno != EINTR)
            return text;
    }
}

}  // namespace

RunResult runProgram(const Command& command) {
    const Invocation invocation(command);
    const int input = inputFile(command.input);
    int output[2];
    if (input < 0 || pipe(output) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        dup2(input, STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        dup2(output[1], STDERR_FILENO);
        close(input);
        close(output[0]);
        close(output[1]);
        invocation.exec();
    }
    close(input);
    close(output[1]);
    RunResult run;
    run.console = readToEnd(output[0]);
    close(output[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child) run.exitCode = exitCodeOf(status);
    return run;
}

// --- a problem file of its own ---

namespace {

void removeTree(const std::string& dir) {
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

}  // namespace

ProblemFile::ProblemFile(const std::vector<std::string>& lines, const std::string& name) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    create(text, name);
}

ProblemFile::ProblemFile(const RawText& raw, const std::string& name) { create(raw.bytes, name); }

ProblemFile::~ProblemFile() { removeTree(dir_); }

void ProblemFile::create(const std::string& text, const std::string& name) {
    char pattern[] = "/tmp/kelvaro-driver-XXXXXX";
    const char* made = mkdtemp(pattern);
    dir_ = made ? made : "/tmp";
    path_ = dir_ + "/" + name;
    writeFile(path_, text);
}

RunResult ProblemFile::run(const std::string& stdinText, unsigned timeoutSeconds) const {
    Command command;
    command.arguments = {path_};
    command.input = stdinText;
    command.timeoutSeconds = timeoutSeconds;
    RunResult run = runProgram(command);
    run.console = utf8ToCp932(run.console);
    return run;
}

// --- reading what a running program writes ---

namespace {

// Appends what fd has to text, waiting at most timeoutMs for it. False when
// nothing came within the time (or the program closed its end).
bool readAvailable(int fd, std::string& text, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    char buffer[65536];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    text.append(buffer, size_t(n));
    return true;
}

// Reads fd into text until done() holds; false when the seconds pass first.
bool readUntil(int fd, std::string& text, const std::function<bool()>& done, int seconds) {
    const double deadline = monotonicSeconds() + seconds;
    while (!done()) {
        if (monotonicSeconds() > deadline) return false;
        // The program does not wait for the test to read: its output may
        // only pile up in the terminal or the pipe while the test is not
        // looking.
        readAvailable(fd, text, 10);
    }
    return true;
}

// A session that ends before its program does takes the program with it.
void killUnlessEnded(pid_t child, bool exited) {
    if (child <= 0 || exited) return;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

// Whether the child has ended, reading its output meanwhile; its exit code
// in status.
bool waitForExit(pid_t child, int fd, std::string& text, int seconds, int& status) {
    const bool ended = readUntil(fd, text, [&] { return waitpid(child, &status, WNOHANG) == child; }, seconds);
    if (ended)
        while (readAvailable(fd, text, 0)) {
        }
    return ended;
}

}  // namespace

// --- a run spoken to over pipes ---

PipeSession::PipeSession(const Command& command) {
    const Invocation invocation(command);
    int input[2], output[2];
    if (pipe(input) != 0) return;
    if (pipe(output) != 0) {
        close(input[0]);
        close(input[1]);
        return;
    }
    child_ = fork();
    if (child_ == 0) {
        dup2(input[0], STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDERR_FILENO);
        for (const int fd : {input[0], input[1], output[0], output[1], devNull}) close(fd);
        invocation.exec();
    }
    close(input[0]);
    close(output[1]);
    toProgram_ = input[1];
    fromProgram_ = output[0];
    // A program that has ended makes a write fail instead of killing the test.
    signal(SIGPIPE, SIG_IGN);
}

PipeSession::~PipeSession() {
    killUnlessEnded(child_, exited_);
    if (toProgram_ >= 0) close(toProgram_);
    if (fromProgram_ >= 0) close(fromProgram_);
}

void PipeSession::send(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] ssize_t n = write(toProgram_, text.data(), text.size());
}

std::vector<std::string> PipeSession::lines() const {
    std::vector<std::string> complete;
    for (size_t start = 0, end; (end = output_.find('\n', start)) != std::string::npos; start = end + 1)
        complete.push_back(output_.substr(start, end - start));
    return complete;
}

std::optional<std::string> PipeSession::waitForLine(const std::string& prefix, int seconds) {
    std::optional<std::string> found;
    readUntil(fromProgram_, output_, [&] {
        const std::vector<std::string> now = lines();
        for (; taken_ < now.size() && !found; ++taken_)
            if (now[taken_].compare(0, prefix.size(), prefix) == 0) found = now[taken_];
        return found.has_value();
    }, seconds);
    return found;
}

int PipeSession::finish(int seconds) {
    close(toProgram_);
    toProgram_ = -1;
    int status = 0;
    if (!waitForExit(child_, fromProgram_, output_, seconds, status)) return -1;
    exited_ = true;
    return exitCodeOf(status);
}

// --- a run on a terminal ---

namespace {

// The screen without carriage returns and escape sequences (colours, the
// window title), as far as it can be told: a sequence not complete yet is
// left for the next call.
std::string withoutTerminalControls(const std::string& screen) {
    std::string text;
    for (size_t i = 0; i < screen.size(); ++i) {
        const char c = screen[i];
        if (c == '\r') continue;
        if (c != '\x1b') {
            text.push_back(c);
            continue;
        }
        if (i + 1 == screen.size()) break;
        if (screen[i + 1] == ']') {  // title: up to BEL
            while (i < screen.size() && screen[i] != '\x07') ++i;
        } else if (screen[i + 1] == '[') {  // colour: up to the final letter
            i += 2;
            while (i < screen.size() && !(screen[i] >= '@' && screen[i] <= '~')) ++i;
        } else {
            text.push_back(c);
        }
    }
    return text;
}

}  // namespace

TerminalSession::TerminalSession(const Command& command) : utf8_(isUtf8Locale(command.locale)) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    tcgetattr(slave_, &initial_);
    int input[2] = {-1, -1};
    if (command.inputFromPipe && pipe2(input, O_CLOEXEC) != 0) return;
    const Invocation invocation(command);
    child_ = fork();
    if (child_ == 0) {
        setsid();
        ioctl(slave_, TIOCSCTTY, 0);
        dup2(command.inputFromPipe ? input[0] : slave_, STDIN_FILENO);
        dup2(slave_, STDOUT_FILENO);
        dup2(slave_, STDERR_FILENO);
        close(master_);
        if (slave_ > STDERR_FILENO) close(slave_);
        invocation.exec();
    }
    if (command.inputFromPipe) {
        close(input[0]);
        inputPipe_ = input[1];
    }
}

TerminalSession::~TerminalSession() {
    killUnlessEnded(child_, exited_);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    if (inputPipe_ >= 0) close(inputPipe_);
}

void TerminalSession::type(const std::string& keys) {
    [[maybe_unused]] ssize_t n = write(inputPipe_ >= 0 ? inputPipe_ : master_, keys.data(), keys.size());
}

void TerminalSession::interrupt() {
    if (child_ > 0) kill(-child_, SIGINT);  // the child leads its session's only group
}

const std::string& TerminalSession::text() const {
    // Made again only when more came: the waits ask for it after every read.
    if (textOf_ != screen_.size()) {
        const std::string text = withoutTerminalControls(screen_);
        text_ = utf8_ ? utf8ToCp932(text) : text;
        textOf_ = screen_.size();
    }
    return text_;
}

bool TerminalSession::readSome(int timeoutMs) { return readAvailable(master_, screen_, timeoutMs); }

bool TerminalSession::waitUntil(const std::function<bool()>& done, int seconds) {
    return readUntil(master_, screen_, done, seconds);
}

size_t TerminalSession::waitForScreen(const std::string& bytes, size_t from, int seconds) {
    size_t at = std::string::npos;
    waitUntil([&] { return (at = screen_.find(bytes, from)) != std::string::npos; }, seconds);
    return at;
}

size_t TerminalSession::waitForText(const std::string& cp932, size_t from, int seconds) {
    size_t at = std::string::npos;
    waitUntil([&] { return (at = text().find(cp932, from)) != std::string::npos; }, seconds);
    return at;
}

TerminalMode TerminalSession::mode() const {
    termios now{};
    tcgetattr(slave_, &now);
    return now.c_lflag & ICANON ? TerminalMode::Lines : TerminalMode::Keys;
}

bool TerminalSession::waitForMode(TerminalMode wanted, int seconds) {
    return waitUntil([&] { return mode() == wanted; }, seconds);
}

int TerminalSession::finish(int seconds) {
    int status = 0;
    // The test's slave descriptor keeps the terminal open: the end is told
    // by the child, not by the end of the output.
    if (!waitForExit(child_, master_, screen_, seconds, status)) return -1;
    exited_ = true;
    return exitCodeOf(status);
}

bool TerminalSession::terminalRestored() const {
    termios now{};
    tcgetattr(slave_, &now);
    return now.c_lflag == initial_.c_lflag && now.c_iflag == initial_.c_iflag && now.c_oflag == initial_.c_oflag;
}

bool playSteps(TerminalSession& session, const std::vector<TerminalStep>& steps, int stepSeconds) {
    size_t seen = 0;
    for (const TerminalStep& step : steps) {
        const size_t at = session.waitForText(step.waitFor, seen, stepSeconds);
        if (at == std::string::npos || !session.waitForMode(step.mode, stepSeconds)) return false;
        seen = at + step.waitFor.size();
        session.type(step.keys);
    }
    return true;
}

RunResult runOnTerminal(const Command& command, const std::vector<TerminalStep>& steps, int stepSeconds) {
    TerminalSession session(command);
    RunResult run;
    if (!session.started()) return run;
    if (!playSteps(session, steps, stepSeconds)) {
        run.console = session.text();
        return run;  // the session kills the program
    }
    run.exitCode = session.finish(int(command.timeoutSeconds));
    run.console = session.text();
    return run;
}

// --- a full disk ---

SmallFileSystem::SmallFileSystem(const std::string& dir, unsigned kilobytes) : dir_(dir) {
    // The mount is private to this process and its children: made in a
    // namespace of its own, and kept from propagating back.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return;
    const std::string options = "size=" + std::to_string(kilobytes) + "k";
    mounted_ = mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

SmallFileSystem::~SmallFileSystem() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
}

size_t SmallFileSystem::blockSize() const {
    struct statvfs s{};
    return statvfs(dir_.c_str(), &s) == 0 ? size_t(s.f_frsize) : 0;
}

void SmallFileSystem::fill() const {
    struct statvfs s{};
    if (statvfs(dir_.c_str(), &s) != 0) return;
    writeFile(dir_ + "/filler", std::string(size_t(s.f_bavail) * size_t(s.f_frsize), '\0'));
}

// --- writing problems and the diagrams the program prints for them ---

std::vector<std::string> Problem::lines() const {
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

std::string diagram(const Rows& rows, const std::string& defenderHand, const std::string& attackerHand) {
    std::string text = "持駒：" + defenderHand + "\n";
    text += "  ９ ８ ７ ６ ５ ４ ３ ２ １ \n";
    text += "+---------------------------+\n";
    for (const std::string& row : rows) text += row + "\n";
    text += "+---------------------------+\n";
    text += "持駒：" + attackerHand + "\n";
    return text;
}

std::string closingBlock(const std::string& notes, const std::string& ending) {
    return "\n所要時間：{*}秒 探索局面数：{*}\n局面表：{*}/12582911 ({*}％)\nChecked by Kelvaro 1.07" + notes + ending;
}

}  // namespace harness
