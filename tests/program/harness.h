// Running the built programs (build/kelvaro, build/dfpn) as a user does, and
// reading back what they print and write. Two ways to run: with standard
// input from a text and the output to a pipe (runProgram, ProblemFile::run),
// or on a pseudo-terminal, where the program polls keys as it does for a
// user (TerminalSession, runOnTerminal).
//
// Expectations are written as ordinary literals, CP932 like the program's own
// text (the tests are compiled to CP932 too). They may hold "{*}", which
// matches any text (elapsed times, node counts, whatever the test does not
// pin down).
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace harness {

// --- files ---

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
// A file of the source tree, given relative to its root.
std::string sourcePath(const std::string& relative);
// A file under tests/program/fixtures/.
std::string fixturePath(const std::string& name);
// Whether the file holds exactly these bytes; a failure tells the sizes and
// where they first differ, not the bytes (a suspend file has megabytes).
testing::AssertionResult fileHolds(const std::string& path, const std::string& bytes);

// --- text ---

// Converts between encodings; ok is cleared when the text does not convert
// completely.
std::string convert(const std::string& text, const char* to, const char* from, bool* ok = nullptr);
inline std::string cp932ToUtf8(const std::string& text) { return convert(text, "UTF-8", "CP932"); }
inline std::string utf8ToCp932(const std::string& text) { return convert(text, "CP932", "UTF-8"); }
bool isCp932Text(const std::string& text);

// Whether text matches pattern, "{*}" in the pattern standing for any text.
bool matches(const std::string& text, const std::string& pattern);

// For failure messages: CP932 shown as UTF-8, on lines of its own.
std::string shown(const std::string& cp932);

#define EXPECT_MATCH(text, pattern) EXPECT_TRUE(::harness::matches(text, pattern)) << ::harness::shown(text)

// --- running a program ---

// A user and group to run the program as, instead of the test's own.
struct Identity {
    uid_t uid;
    gid_t gid;
};

struct Command {
    std::string program = "kelvaro";  // an executable in the root of the build tree
    std::vector<std::string> arguments;
    // LC_ALL for the program; the test's other locale variables are not
    // passed on, so that the program's encoding does not depend on the shell.
    std::string locale = "C.UTF-8";
    std::vector<std::string> environment;  // NAME=VALUE, added to the test's own
    std::string input;                     // standard input of a run by runProgram, closed at its end
    // Only a safety net: a program that never ends is killed (the alarm
    // survives exec), and the test fails on its own instead of at ctest's
    // time-out.
    unsigned timeoutSeconds = 300;
    // Runs as this user, with no supplementary groups (the test must be root).
    std::optional<Identity> runAs;
    // The folder the program starts in; the test's own when empty.
    std::string workingDirectory;
    // On a TerminalSession, standard input from a pipe that type() writes
    // to, as for `kelvaro FILE < answers` typed at a shell: the terminal
    // stays the program's console, but no key can be read from it.
    bool inputFromPipe = false;
    // The largest file the program may write (RLIMIT_FSIZE, SIGXFSZ
    // ignored): a write beyond it fails as on a full disk, whoever runs.
    std::optional<rlim_t> fileSizeLimit;
};

// KELVARO_TEST_STOPS for Command::environment: the program stops as if ESC
// were pressed where `stops` says, STAGE@N, N positions into the stage
// (solve, shorter, verify), or verifyM@N, N positions into the
// verification's Mth move: a point that is the same on every machine.
std::string testStops(const std::string& stops);
// For Command::environment: a suspend file's save waits, its temporary file
// half written, for the signal that ends the program.
inline const std::string TEST_SAVE_WAIT = "KELVARO_TEST_SAVE_WAIT=1";

struct RunResult {
    int exitCode = -1;  // 128 + the signal for a program that was killed
    std::string console;
};

// Runs the command with standard input from its text; the console is
// standard output and standard error as the program wrote them.
RunResult runProgram(const Command& command);

// --- a problem file of its own ---

// The bytes of a problem file, as they are.
struct RawText {
    std::string bytes;
};

// A problem file (CP932 text, lines joined with CR LF as the usual record
// writers do) in a fresh temporary directory, removed afterwards: the
// program writes its report and suspend file beside it.
class ProblemFile {
public:
    explicit ProblemFile(const std::vector<std::string>& lines, const std::string& name = "problem.kif");
    explicit ProblemFile(const RawText& raw, const std::string& name = "problem.kif");
    ~ProblemFile();
    ProblemFile(const ProblemFile&) = delete;
    ProblemFile& operator=(const ProblemFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& dir() const { return dir_; }
    std::string reportPath() const { return path_ + ".txt"; }
    std::string report() const { return readFile(reportPath()); }

    // Runs build/kelvaro on the file in a UTF-8 locale; the console comes
    // back in CP932.
    RunResult run(const std::string& stdinText = "", unsigned timeoutSeconds = 60) const;

private:
    void create(const std::string& text, const std::string& name);

    std::string dir_;
    std::string path_;
};

// --- a run spoken to over pipes ---

// The program with its standard input and output on pipes, spoken to a
// line at a time, as a GUI speaks to an engine (the USI mode). Standard
// error is dropped.
class PipeSession {
public:
    explicit PipeSession(const Command& command);
    ~PipeSession();
    PipeSession(const PipeSession&) = delete;
    PipeSession& operator=(const PipeSession&) = delete;

    bool started() const { return child_ > 0; }
    void send(const std::string& line);
    // The first line written after the lines earlier waits went past that
    // starts with prefix; none when the seconds pass first. The wait goes
    // past the line it returns.
    std::optional<std::string> waitForLine(const std::string& prefix, int seconds);
    // Every whole line written so far.
    std::vector<std::string> lines() const;
    // Closes the program's input and reads until it ends; its exit code, or
    // -1 when it did not end within the seconds (it is then killed).
    int finish(int seconds);

private:
    pid_t child_ = -1;
    bool exited_ = false;
    int toProgram_ = -1, fromProgram_ = -1;
    std::string output_;
    size_t taken_ = 0;  // lines the waits went past
};

// --- a run on a terminal ---

// What the program has set the terminal to: lines (an answer is read with
// echo) or single keys (its keyboard thread polls, or it waits for a key).
enum class TerminalMode { Lines, Keys };

// The program on the slave side of a pseudo-terminal in a session of its
// own, as a shell starts it. The test keeps a slave descriptor of its own
// to see the terminal settings the program makes.
class TerminalSession {
public:
    explicit TerminalSession(const Command& command);
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    bool started() const { return child_ > 0; }
    pid_t pid() const { return child_; }
    void type(const std::string& keys);
    // Ctrl-C as the terminal sends it, SIGINT to the program's process
    // group; sent before this returns, so it is handled before anything
    // typed after it is read.
    void interrupt();

    // Everything the program wrote, escape sequences and CR LF included.
    const std::string& screen() const { return screen_; }
    // The text a user reads: no carriage returns, no escape sequences, in
    // CP932 (converted back when the locale is UTF-8).
    const std::string& text() const;

    // Reads the terminal until done() holds; false when the seconds pass
    // first. The other waits are built on it.
    bool waitUntil(const std::function<bool()>& done, int seconds);
    // Where bytes first appear in screen() from position from, or npos.
    size_t waitForScreen(const std::string& bytes, size_t from, int seconds);
    // The same in text().
    size_t waitForText(const std::string& cp932, size_t from, int seconds);
    bool waitForMode(TerminalMode mode, int seconds);

    // Reads until the program ends; its exit code, or -1 when it did not end
    // within the seconds (it is then killed).
    int finish(int seconds);
    // Whether the terminal is set back as it was before the program ran.
    bool terminalRestored() const;

private:
    bool readSome(int timeoutMs);
    TerminalMode mode() const;

    int master_ = -1, slave_ = -1;
    int inputPipe_ = -1;  // the writing end, with Command::inputFromPipe
    pid_t child_ = -1;
    bool exited_ = false;
    bool utf8_;
    termios initial_{};
    std::string screen_;
    mutable std::string text_;  // text() of the screen's first textOf_ bytes
    mutable size_t textOf_ = 0;
};

// One step of a terminal dialogue: wait until the text shows `waitFor`
// (CP932, after what the previous step waited for) and the terminal is in
// `mode`, then type `keys`. Waiting for the mode, not for a while, is what
// makes the keys land where they are meant to: an answer once the question
// has taken the terminal back from the key poller, a key once the poller or
// the final key wait has it.
struct TerminalStep {
    std::string waitFor;
    std::string keys;
    TerminalMode mode = TerminalMode::Lines;
};

// Takes the session through the steps; false when a step waited longer
// than stepSeconds.
bool playSteps(TerminalSession& session, const std::vector<TerminalStep>& steps, int stepSeconds = 120);

// Runs the command on a terminal through the steps, then to its end. The
// console is the session's text(); the exit code is -1 when a step waited
// longer than stepSeconds (the program is then killed).
RunResult runOnTerminal(const Command& command, const std::vector<TerminalStep>& steps, int stepSeconds = 120);

// --- a full disk ---

// A tmpfs of a few kilobytes mounted over a folder for the test's lifetime,
// in a mount namespace of the test process's own (nothing stays mounted
// when a test dies). Only root may mount: mounted() tells whether it could.
class SmallFileSystem {
public:
    SmallFileSystem(const std::string& dir, unsigned kilobytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    size_t blockSize() const;
    // Takes every free block with a file of its own: from then on a file can
    // grow only into what is left of its last block.
    void fill() const;

private:
    std::string dir_;
    bool mounted_ = false;
};

// --- writing problems and the diagrams the program prints for them ---

// Nine board rows in the diagram's own form, "| ・ ・ … ・v玉|一".
using Rows = std::vector<std::string>;

struct Problem {
    std::vector<std::string> header;  // lines before the hands ("手数：3", "分類：…", "備考：…")
    std::string defenderHand = "なし";
    Rows rows;
    std::string attackerHand = "なし";
    std::vector<std::string> moveList;  // lines after "手数----指手"

    std::vector<std::string> lines() const;
};

// The diagram as the program prints it; the hands in its own form ("金 ",
// "なし").
std::string diagram(const Rows& rows, const std::string& defenderHand, const std::string& attackerHand);

// The closing block; what varies from run to run (time, counts, table use)
// is left open.
std::string closingBlock(const std::string& notes = "", const std::string& ending = "\n\n");

inline const std::string KEY_WAIT = "何かキーを押してください...";

}  // namespace harness
