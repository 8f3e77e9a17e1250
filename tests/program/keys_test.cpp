// The keys of a running search, pressed as a user would: the dfpn tool runs
// under a pseudo-terminal and the test types D, M, ESC and an answer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <ctime>
#include <cstdio>
#include <string>

#include "search/search_support.h"
#include "test_data.h"

namespace {

// Seconds on the monotonic clock (<chrono> does not build with the CP932
// execution character set).
double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// A problem that runs for a few seconds, so that keys land during the
// search (the sanitizer build is several times slower: a shorter one).
#ifdef KELVARO_SLOW_TESTS
const char* const LONG_PROBLEM = "kif/l001.kif";
const char* const LONG_DEPTH = "31";
#else
const char* const LONG_PROBLEM = "kif/m009.kif";
const char* const LONG_DEPTH = "17";
#endif

std::string toolPath() {
    std::string path = KELVARO_BINARY_DIR;
    path += "/dfpn";
    return path;
}
std::string problemPath() { return std::string(KELVARO_CORPUS_DIR) + "/" + LONG_PROBLEM; }

// The last line of the tool run without a terminal and without keys.
std::string quietRun() {
    const std::string command = toolPath() + " " + problemPath() + " " + LONG_DEPTH + " </dev/null 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "";
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
    const size_t start = text.rfind("pn=");
    return start == std::string::npos ? text : text.substr(start, text.find('\n', start) - start);
}

// The tool on the slave side of a pseudo-terminal; the test keeps a slave
// descriptor of its own to see the terminal settings the tool leaves.
class TerminalSession {
public:
    bool start() {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return false;
        tcgetattr(slave_, &initial_);
        child_ = fork();
        if (child_ < 0) return false;
        if (child_ == 0) {
            setsid();
            ioctl(slave_, TIOCSCTTY, 0);
            dup2(slave_, 0);
            dup2(slave_, 1);
            dup2(slave_, 2);
            close(master_);
            if (slave_ > 2) close(slave_);
            // Raw CP932 bytes on the screen: the test compares them as such.
            setenv("LC_ALL", "C", 1);
            execl(toolPath().c_str(), "dfpn", problemPath().c_str(), LONG_DEPTH, static_cast<char*>(nullptr));
            _exit(127);
        }
        fcntl(master_, F_SETFL, O_NONBLOCK);
        return true;
    }

    ~TerminalSession() {
        if (child_ > 0 && !exited_) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
    }

    void type(const std::string& keys) { [[maybe_unused]] ssize_t n = write(master_, keys.data(), keys.size()); }

    // Reads until text appears after position from (returns its position),
    // or until the time runs out (npos).
    size_t waitFor(const std::string& text, size_t from, int seconds) {
        const double deadline = now() + seconds;
        for (;;) {
            const size_t at = screen_.find(text, from);
            if (at != std::string::npos) return at;
            if (now() > deadline || !readSome(100)) return std::string::npos;
        }
    }

    // Reads until the tool ends; its exit status.
    int finish(int seconds) {
        const double deadline = now() + seconds;
        int status = 0;
        while (now() < deadline) {
            readSome(50);
            if (waitpid(child_, &status, WNOHANG) == child_) {
                exited_ = true;
                while (readSome(0)) {
                }
                return status;
            }
        }
        return -1;
    }

    // Waits until the tool has switched the terminal to single keys: its
    // keyboard thread is polling.
    bool waitForKeyMode(int seconds) {
        const double deadline = now() + seconds;
        while (now() < deadline) {
            termios mode{};
            tcgetattr(slave_, &mode);
            if (!(mode.c_lflag & ICANON)) return true;
            readSome(10);
        }
        return false;
    }

    // Waits until the terminal is back in line mode: the question has taken
    // standard input from the keyboard thread and the answer may be typed.
    bool waitForLineMode(int seconds) {
        const double deadline = now() + seconds;
        while (now() < deadline) {
            termios mode{};
            tcgetattr(slave_, &mode);
            if (mode.c_lflag & ICANON) return true;
            readSome(10);
        }
        return false;
    }

    bool terminalRestored() {
        termios mode{};
        tcgetattr(slave_, &mode);
        return mode.c_lflag == initial_.c_lflag && mode.c_iflag == initial_.c_iflag && mode.c_oflag == initial_.c_oflag;
    }

    const std::string& screen() const { return screen_; }

private:
    // False when nothing came within the time (or the tool closed its end).
    bool readSome(int timeoutMs) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return false;
        char buffer[65536];
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) return false;
        screen_.append(buffer, size_t(n));
        return true;
    }

    int master_ = -1, slave_ = -1;
    pid_t child_ = -1;
    bool exited_ = false;
    termios initial_{};
    std::string screen_;
};

std::string resultLine(const std::string& screen) {
    const size_t start = screen.rfind("pn=");
    if (start == std::string::npos) return "";
    size_t end = screen.find_first_of("\r\n", start);
    return screen.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

TEST(Keys, ProgressMonitorAndDeclinedStopDoNotChangeTheSearch) {
    if (access(toolPath().c_str(), X_OK) != 0) GTEST_SKIP() << "the dfpn tool is not built";
    if (access(problemPath().c_str(), R_OK) != 0) SKIP_OR_FAIL_WITHOUT_DATA("the corpus is not there");
    const std::string expected = quietRun();
    ASSERT_EQ(0u, expected.find("pn=0 dn=2147483647 nodes=")) << expected;

    TerminalSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.waitForKeyMode(20)) << session.screen();

    session.type("d");
    const size_t progress = session.waitFor("現在の読み筋：開始0手目、検討深度(実/指定)：", 0, 20);
    ASSERT_NE(std::string::npos, progress) << session.screen();
    const size_t usage = session.waitFor("局面表使用率：", progress, 20);
    ASSERT_NE(std::string::npos, usage) << session.screen();
    EXPECT_NE(std::string::npos, session.waitFor("％", usage, 5));

    session.type("m");
    const size_t monitor = session.waitFor("モニタ開始：2手", usage, 20);
    ASSERT_NE(std::string::npos, monitor) << session.screen().substr(usage);
    // The monitor shows the root's children and grandchildren.
    EXPECT_NE(std::string::npos, session.waitFor("探索中：1手目", monitor, 20));
    EXPECT_NE(std::string::npos, session.waitFor("探索戻り：2手目", monitor, 20));
    // Lines of a growing pn are grey, of a growing dn cyan; each line ends
    // in the normal colour.
    EXPECT_NE(std::string::npos, session.waitFor("\x1b[90m\r\n探索", monitor, 20));
    EXPECT_NE(std::string::npos, session.waitFor("\x1b[96m\r\n探索", monitor, 20));
    EXPECT_NE(std::string::npos, session.waitFor("\x1b[0m\r\n", monitor, 20));

    session.type("\x1b");
    const size_t question = session.waitFor("中断しますか？（Y/N）：", monitor, 20);
    ASSERT_NE(std::string::npos, question) << session.screen().substr(monitor, 2000);
    // The block before the question is the progress display again.
    EXPECT_NE(std::string::npos, session.screen().find("局面表使用率：", monitor));
    ASSERT_TRUE(session.waitForLineMode(20));
    session.type("n\n");
    ASSERT_NE(std::string::npos, session.waitFor("再開します", question, 20));

    const int status = session.finish(300);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(0, WEXITSTATUS(status));
    // Showing, monitoring and a declined stop leave every searched position
    // as it was: the same verdict and the same count.
    const std::string got = resultLine(session.screen());
    EXPECT_EQ(expected.substr(0, expected.find(" seconds=")), got.substr(0, got.find(" seconds=")));
    EXPECT_TRUE(session.terminalRestored());
}
