// The keys of a running search, pressed as a user would: the dfpn tool runs
// under a pseudo-terminal and the test types D, M, ESC and an answer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "harness.h"
#include "test_data.h"

namespace {

using namespace harness;

// A problem that runs for a few seconds, so that keys land during the
// search (the sanitizer build is several times slower: a shorter one).
#ifdef KELVARO_SLOW_TESTS
const char* const LONG_PROBLEM = "kif/l001.kif";
const char* const LONG_DEPTH = "31";
#else
const char* const LONG_PROBLEM = "kif/m009.kif";
const char* const LONG_DEPTH = "17";
#endif

// Only a safety net for a program that hangs: each wait ends with the text
// it waits for.
constexpr int WAIT_SECONDS = 60;

std::string problemPath() { return std::string(KELVARO_CORPUS_DIR) + "/" + LONG_PROBLEM; }

// The dfpn tool on the problem; raw CP932 bytes on the screen, which the
// test compares as such.
Command toolRun() {
    Command command;
    command.program = "dfpn";
    command.arguments = {problemPath(), LONG_DEPTH};
    command.locale = "C";
    return command;
}

std::string resultLine(const std::string& screen) {
    const size_t start = screen.rfind("pn=");
    if (start == std::string::npos) return "";
    size_t end = screen.find_first_of("\r\n", start);
    return screen.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

TEST(Keys, ProgressMonitorAndDeclinedStopDoNotChangeTheSearch) {
    if (access(problemPath().c_str(), R_OK) != 0) SKIP_OR_FAIL_WITHOUT_DATA("the corpus is not there");
    // The tool run without a terminal, and so without keys.
    const std::string expected = resultLine(runProgram(toolRun()).console);
    ASSERT_EQ(0u, expected.find("pn=0 dn=2147483647 nodes=")) << expected;

    TerminalSession session(toolRun());
    ASSERT_TRUE(session.started());
    // The keyboard thread polls once the terminal is in single-key mode.
    ASSERT_TRUE(session.waitForMode(TerminalMode::Keys, WAIT_SECONDS)) << session.screen();

    session.type("d");
    const size_t progress = session.waitForScreen("現在の読み筋：開始0手目、検討深度(実/指定)：", 0, WAIT_SECONDS);
    ASSERT_NE(std::string::npos, progress) << session.screen();
    const size_t usage = session.waitForScreen("局面表使用率：", progress, WAIT_SECONDS);
    ASSERT_NE(std::string::npos, usage) << session.screen();
    EXPECT_NE(std::string::npos, session.waitForScreen("％", usage, WAIT_SECONDS));

    session.type("m");
    const size_t monitor = session.waitForScreen("モニタ開始：2手", usage, WAIT_SECONDS);
    ASSERT_NE(std::string::npos, monitor) << session.screen().substr(usage);
    // The monitor shows the root's children and grandchildren.
    EXPECT_NE(std::string::npos, session.waitForScreen("探索中：1手目", monitor, WAIT_SECONDS));
    EXPECT_NE(std::string::npos, session.waitForScreen("探索戻り：2手目", monitor, WAIT_SECONDS));
    // Lines of a growing pn are grey, of a growing dn cyan; each line ends
    // in the normal colour.
    EXPECT_NE(std::string::npos, session.waitForScreen("\x1b[90m\r\n探索", monitor, WAIT_SECONDS));
    EXPECT_NE(std::string::npos, session.waitForScreen("\x1b[96m\r\n探索", monitor, WAIT_SECONDS));
    EXPECT_NE(std::string::npos, session.waitForScreen("\x1b[0m\r\n", monitor, WAIT_SECONDS));

    session.type("\x1b");
    const size_t question = session.waitForScreen("中断しますか？（Y/N）：", monitor, WAIT_SECONDS);
    ASSERT_NE(std::string::npos, question) << session.screen().substr(monitor, 2000);
    // The block before the question is the progress display again.
    EXPECT_NE(std::string::npos, session.screen().find("局面表使用率：", monitor));
    // The question has taken standard input from the keyboard thread: the
    // answer is typed in line mode.
    ASSERT_TRUE(session.waitForMode(TerminalMode::Lines, WAIT_SECONDS));
    session.type("n\n");
    ASSERT_NE(std::string::npos, session.waitForScreen("再開します", question, WAIT_SECONDS));

    ASSERT_EQ(0, session.finish(300));
    // Showing, monitoring and a declined stop leave every searched position
    // as it was: the same verdict and the same count.
    const std::string got = resultLine(session.screen());
    EXPECT_EQ(expected.substr(0, expected.find(" seconds=")), got.substr(0, got.find(" seconds=")));
    EXPECT_TRUE(session.terminalRestored());
}
