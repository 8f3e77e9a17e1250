// Console services on a Linux terminal.
//
// Output: CP932 text goes to standard output through one stream buffer,
// converted to UTF-8 when the locale's codeset is UTF-8. Colours and the
// window title are escape sequences, written only to a terminal.
//
// Input: every read of standard input goes through one buffered reader, so
// prompts, key waits and the keyboard thread never lose bytes to each
// other. While a search runs the terminal is in single-key mode; whoever
// asks a question suspends the poller and gets the terminal back in line
// mode for the answer.
#include "base/console.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <streambuf>
#include <strings.h>
#include <termios.h>
#include <unistd.h>

#include "base/terminal_text.h"

int32_t elapsedSeconds = 0;
std::atomic<uint8_t> ctrlCPressed{0};
static_assert(std::atomic<uint8_t>::is_always_lock_free, "the interrupt handler stores this flag");

namespace {

// ---------------------------------------------------------------------------
// Output

void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // nothing sensible can be done about a lost console
        data += n;
        size -= size_t(n);
    }
}

bool localeIsUtf8() {
    std::setlocale(LC_ALL, "");
    const char* codeset = nl_langinfo(CODESET);
    bool utf8 = codeset && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0);
    // Figures in messages and reports keep the decimal point whatever the locale.
    std::setlocale(LC_NUMERIC, "C");
    return utf8;
}

// The stream buffer behind consoleOut(). It has no put area: every piece
// reaches overflow/xsputn, under the lock, so the column state is exact and
// two threads never interleave inside a piece. Only a lead byte whose second
// half has not come yet is ever held back (by the encoder).
class ConsoleBuffer : public std::streambuf {
public:
    ConsoleBuffer() : encoder_(localeIsUtf8()), terminal_(::isatty(STDOUT_FILENO) == 1) {}

    bool terminal() const { return terminal_; }
    bool atColumnZero() const { return atColumnZero_.load(); }
    void markColumnZero() { atColumnZero_.store(true); }
    const TerminalEncoder& encoder() const { return encoder_; }

    // A whole piece of text, written at once.
    void write(std::string_view text) {
        std::lock_guard<std::mutex> guard(lock_);
        appendLocked(text);
        flushLocked();
    }

    // Text already in the terminal's encoding (a typed file name): it goes
    // out after what came before it, unconverted.
    void writeTyped(std::string_view bytes) {
        std::lock_guard<std::mutex> guard(lock_);
        flushLocked();
        writeAll(STDOUT_FILENO, bytes.data(), bytes.size());
        if (!bytes.empty()) atColumnZero_.store(bytes.back() == '\n');
    }

    // Bytes that are not text (escape sequences): they go out at once and
    // leave the column as it is.
    void writeControl(std::string_view sequence) {
        std::lock_guard<std::mutex> guard(lock_);
        flushLocked();
        writeAll(STDOUT_FILENO, sequence.data(), sequence.size());
    }

protected:
    // The stream is unit-buffered: what one output operation puts here is
    // written when the operation ends (sync), so a number goes out in one
    // write and a prompt without a line end is not held back.
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        char ch = traits_type::to_char_type(c);
        std::lock_guard<std::mutex> guard(lock_);
        appendLocked(std::string_view(&ch, 1));
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::lock_guard<std::mutex> guard(lock_);
        appendLocked(std::string_view(s, size_t(n)));
        return n;
    }
    int sync() override {
        std::lock_guard<std::mutex> guard(lock_);
        flushLocked();
        return 0;
    }

private:
    void appendLocked(std::string_view text) {
        if (text.empty()) return;
        pending_.append(text);
        atColumnZero_.store(text.back() == '\n');
        if (text.find('\n') != std::string_view::npos) flushLocked();
    }
    void flushLocked() {
        if (pending_.empty()) return;
        std::string out = encoder_.feed(pending_);
        pending_.clear();
        writeAll(STDOUT_FILENO, out.data(), out.size());
    }

    std::mutex lock_;
    TerminalEncoder encoder_;
    std::string pending_;
    const bool terminal_;
    std::atomic<bool> atColumnZero_{true};
};

ConsoleBuffer& consoleBuffer() {
    static ConsoleBuffer buffer;
    return buffer;
}

// A control byte in a file name or a title would steer the terminal (or end
// the title's sequence early); it is shown as '?'. Neither CP932 nor UTF-8
// uses control bytes inside a character, so this cannot split one.
std::string withControlBytesShown(std::string_view text) {
    std::string shown(text);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return shown;
}

// Set when a colour other than the normal one is on the terminal; the exit
// paths reset it.
volatile sig_atomic_t colourChanged = 0;

// ---------------------------------------------------------------------------
// Terminal modes

// The line-mode settings to return to, taken when single-key mode is entered.
termios savedTermios;
// 1 while the terminal is in single-key mode.
volatile sig_atomic_t terminalInKeyMode = 0;

bool stdinIsTerminal() {
    static const bool terminal = ::isatty(STDIN_FILENO) == 1;
    return terminal;
}

void applyKeyMode() {
    if (terminalInKeyMode) return;
    termios keys;
    if (::tcgetattr(STDIN_FILENO, &savedTermios) != 0) return;
    keys = savedTermios;
    // One byte at a time, no echo; ISIG stays, so Ctrl-C is still a signal.
    keys.c_lflag &= ~tcflag_t(ICANON | ECHO);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0) terminalInKeyMode = 1;
}

// Async-signal-safe: only tcsetattr and write.
void restoreTerminal() {
    if (terminalInKeyMode) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTermios);
        terminalInKeyMode = 0;
    }
}

void restoreConsoleAtExit() {
    restoreTerminal();
    if (colourChanged) {
        static const char reset[] = "\x1b[0m";
        writeAll(STDOUT_FILENO, reset, sizeof reset - 1);
        colourChanged = 0;
    }
}

constexpr int FATAL_SIGNALS[] = {SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction previousFatalActions[sizeof FATAL_SIGNALS / sizeof FATAL_SIGNALS[0]];

void onFatalSignal(int signalNumber) {
    restoreConsoleAtExit();
    for (size_t i = 0; i < sizeof FATAL_SIGNALS / sizeof FATAL_SIGNALS[0]; ++i)
        if (FATAL_SIGNALS[i] == signalNumber) ::sigaction(signalNumber, &previousFatalActions[i], nullptr);
    ::raise(signalNumber);
}

// Ctrl-Z: give the shell its terminal back, stop, and take single-key mode
// again when continued.
void onStopSignal(int) {
    int savedErrno = errno;
    const bool wasInKeyMode = terminalInKeyMode;
    restoreTerminal();
    struct sigaction defaultAction{};
    defaultAction.sa_handler = SIG_DFL;
    struct sigaction ours{};
    ::sigaction(SIGTSTP, &defaultAction, &ours);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    ::pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
    ::raise(SIGTSTP);
    // Continued.
    ::sigaction(SIGTSTP, &ours, nullptr);
    if (wasInKeyMode) applyKeyMode();
    errno = savedErrno;
}

void installExitGuards() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::atexit(restoreConsoleAtExit);
        for (size_t i = 0; i < sizeof FATAL_SIGNALS / sizeof FATAL_SIGNALS[0]; ++i) {
            struct sigaction action{};
            action.sa_handler = onFatalSignal;
            sigemptyset(&action.sa_mask);
            ::sigaction(FATAL_SIGNALS[i], &action, &previousFatalActions[i]);
        }
        struct sigaction stop{};
        stop.sa_handler = onStopSignal;
        sigemptyset(&stop.sa_mask);
        stop.sa_flags = SA_RESTART;
        ::sigaction(SIGTSTP, &stop, nullptr);
    });
}

// ---------------------------------------------------------------------------
// Input

InputStream standardInput{STDIN_FILENO, {}, 0, 0, false};
// Held by whoever reads standard input: the poller while it polls, the main
// thread while it reads an answer.
std::mutex inputLock;

// Whether ESC can be pressed now: the key poller reads a terminal and no
// question has it. Read by the interrupt handler, hence no lock.
std::atomic<bool> escCanBeRead{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the interrupt handler reads this flag");

struct KeyPolling {
    KeyPolling() {
        if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
    }
    std::mutex lock;
    int suspendCount = 0;            // guarded by lock
    bool keyModeWanted = false;      // enterKeyMode without leaveKeyMode; guarded by lock
    std::atomic<bool> suspended{false};
    int wakePipe[2] = {-1, -1};      // written by suspendKeyPolling to end a poll early
};

// Sleeps without spinning.
void sleepMilliseconds(int ms) {
    if (ms > 0) ::poll(nullptr, 0, ms);
}

KeyPolling& keyPolling() {
    static KeyPolling state;
    return state;
}

// Under the state's lock, after a change of keyModeWanted or suspendCount.
// The flag is set before the terminal enters single-key mode and cleared
// before it leaves it, so that whoever sees the mode sees the flag with it.
void noteWhetherEscCanBeRead(const KeyPolling& state) {
    escCanBeRead.store(state.keyModeWanted && state.suspendCount == 0);
}

void wakePoller(KeyPolling& state) {
    if (state.wakePipe[1] >= 0) {
        char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(state.wakePipe[1], &byte, 1);
    }
}

void drainWakePipe(KeyPolling& state) {
    char bytes[64];
    while (::read(state.wakePipe[0], bytes, sizeof bytes) > 0) {
    }
}

// Waits up to timeoutMs for standard input. 1: a byte can be read; 0: none
// came; -1: the wait was cut short by suspendKeyPolling.
int waitForInput(int timeoutMs, bool watchWakePipe) {
    if (inputBuffered(standardInput)) return 1;
    KeyPolling& state = keyPolling();
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {state.wakePipe[0], POLLIN, 0}};
    int count = watchWakePipe && state.wakePipe[0] >= 0 ? 2 : 1;
    int ready = ::poll(fds, nfds_t(count), timeoutMs);
    if (ready <= 0) return 0;  // time-out or a signal
    if (count == 2 && (fds[1].revents & POLLIN)) {
        drainWakePipe(state);
        return -1;
    }
    return (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) ? 1 : 0;
}

// The bytes of an escape sequence arrive together; a lone ESC has nothing
// behind it within this time.
constexpr int ESCAPE_SEQUENCE_MS = 20;

// After an ESC byte: true when more bytes follow (an arrow or function key,
// or Alt with a key), which are read and dropped.
bool swallowEscapeSequence() {
    if (waitForInput(ESCAPE_SEQUENCE_MS, false) != 1) return false;
    int c = readInputByte(standardInput);
    if (c == '[') {
        // Control sequence: parameter bytes up to a final byte 0x40..0x7E.
        while (waitForInput(ESCAPE_SEQUENCE_MS, false) == 1) {
            c = readInputByte(standardInput);
            if (c < 0 || (c >= 0x40 && c <= 0x7e)) break;
        }
    } else if (c == 'O') {
        if (waitForInput(ESCAPE_SEQUENCE_MS, false) == 1) readInputByte(standardInput);
    }
    return true;
}

// One key from the terminal in single-key mode, blocking. -1 at the end of input.
int readOneKey() {
    int c = readInputByte(standardInput);
    if (c == 27 && swallowEscapeSequence()) return 0;
    return c;
}

}  // namespace

// ---------------------------------------------------------------------------
// Output services

std::ostream& consoleOut() {
    static std::ostream& stream = *[] {
        static std::ostream unitBuffered(&consoleBuffer());
        unitBuffered.setf(std::ios::unitbuf);
        return &unitBuffered;
    }();
    return stream;
}

void consoleWrite(std::string_view text) { consoleBuffer().write(text); }

std::ostream& operator<<(std::ostream& out, TypedName name) {
    const std::string shown = withControlBytesShown(name.bytes);
    if (out.rdbuf() != &consoleBuffer()) return out << shown;
    consoleBuffer().writeTyped(shown);
    return out;
}

bool cursorAtColumnZero() { return consoleBuffer().atColumnZero(); }

void newLineIfNeeded() {
    if (!cursorAtColumnZero()) consoleWrite("\n");
}

void setTextAttribute(int attribute) {
    ConsoleBuffer& buffer = consoleBuffer();
    if (!buffer.terminal()) return;
    const char* sequence = "\x1b[0m";
    switch (attribute) {
    case ATTR_GREY: sequence = "\x1b[90m"; break;
    case ATTR_CYAN: sequence = "\x1b[96m"; break;
    case ATTR_YELLOW: sequence = "\x1b[93m"; break;
    default: break;  // normal
    }
    installExitGuards();
    colourChanged = attribute == ATTR_GREY || attribute == ATTR_CYAN || attribute == ATTR_YELLOW;
    buffer.writeControl(sequence);
}

void setConsoleTitle(std::string_view text) { setConsoleTitle(text, asTyped("")); }

void setConsoleTitle(std::string_view text, TypedName name) {
    ConsoleBuffer& buffer = consoleBuffer();
    if (!buffer.terminal()) return;
    buffer.writeControl("\x1b]0;" + buffer.encoder().convertWhole(withControlBytesShown(text)) +
                        withControlBytesShown(name.bytes) + "\x07");
}

// ---------------------------------------------------------------------------
// Input services

void suspendKeyPolling() {
    KeyPolling& state = keyPolling();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.suspendCount++ == 0) {
            noteWhetherEscCanBeRead(state);
            state.suspended = true;
            wakePoller(state);
            restoreTerminal();  // the answer is typed in line mode, with echo
        }
    }
    // Wait until the poller is out of its poll and read.
    std::lock_guard<std::mutex> wait(inputLock);
}

void resumeKeyPolling() {
    KeyPolling& state = keyPolling();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.suspendCount == 0 || --state.suspendCount > 0) return;
    noteWhetherEscCanBeRead(state);
    if (state.keyModeWanted) applyKeyMode();
    state.suspended = false;
}

bool askYesNo(char letter) {
    consoleOut().flush();
    suspendKeyPolling();
    bool yes;
    bool ended;
    {
        std::lock_guard<std::mutex> guard(inputLock);
        yes = askYesNo(standardInput, letter);
        ended = standardInput.atEnd;
    }
    // The echoed line end of the answer moved the cursor.
    if (stdinIsTerminal() && !ended) consoleBuffer().markColumnZero();
    resumeKeyPolling();
    return yes;
}

bool askYesNo(std::string_view question, char letter) {
    suspendKeyPolling();
    consoleOut() << question << std::flush;
    const bool yes = askYesNo(letter);
    resumeKeyPolling();
    return yes;
}

bool readInputLine(std::string& line) {
    consoleOut().flush();
    suspendKeyPolling();
    bool read;
    {
        std::lock_guard<std::mutex> guard(inputLock);
        read = readInputLine(standardInput, line);
    }
    if (stdinIsTerminal() && read) consoleBuffer().markColumnZero();
    resumeKeyPolling();
    return read;
}

void waitForKey() {
    consoleOut() << "何かキーを押してください...";
    waitForKeySilently();
}

void waitForKeySilently() {
    consoleOut().flush();
    suspendKeyPolling();
    {
        std::lock_guard<std::mutex> guard(inputLock);
        if (stdinIsTerminal()) {
            installExitGuards();
            applyKeyMode();
            readOneKey();
            restoreTerminal();
        } else {
            // From a file or a pipe a key is a line; the end of input ends the wait.
            std::string line;
            readInputLine(standardInput, line);
        }
    }
    // The key is not echoed; on a terminal the next text starts on a new line.
    if (stdinIsTerminal()) consoleWrite("\n");
    resumeKeyPolling();
}

bool keyPollingAvailable() { return stdinIsTerminal(); }

void enterKeyMode() {
    if (!stdinIsTerminal()) return;
    installExitGuards();
    KeyPolling& state = keyPolling();
    std::lock_guard<std::mutex> guard(state.lock);
    state.keyModeWanted = true;
    noteWhetherEscCanBeRead(state);
    if (state.suspendCount == 0) applyKeyMode();
}

void leaveKeyMode() {
    if (!stdinIsTerminal()) return;
    KeyPolling& state = keyPolling();
    std::lock_guard<std::mutex> guard(state.lock);
    state.keyModeWanted = false;
    noteWhetherEscCanBeRead(state);
    restoreTerminal();
}

int pollKey(int timeoutMs) {
    KeyPolling& state = keyPolling();
    // Nothing to poll (standard input belongs to the prompts), or a question
    // is being asked: stand aside for the time-out.
    if (!stdinIsTerminal() || standardInput.atEnd || state.suspended) {
        sleepMilliseconds(timeoutMs);
        return -1;
    }
    std::lock_guard<std::mutex> guard(inputLock);
    if (state.suspended) return -1;
    if (waitForInput(timeoutMs, true) != 1) return -1;
    int c = readInputByte(standardInput);
    if (c == 27 && swallowEscapeSequence()) return -1;
    return c;
}

// ---------------------------------------------------------------------------
// Figures

std::string elapsedText() { return elapsedText(elapsedSeconds); }

std::string elapsedText(int32_t s) {
    std::string text;
    if (s / 3600 > 0) text += decimalText(s / 3600) + "時間";
    if (s % 3600 / 60 > 0) text += decimalText(s % 3600 / 60) + "分";
    return text + decimalText(s % 60) + "秒";
}

std::string decimalText(int64_t value) { return std::to_string(value); }
std::string decimalText(uint64_t value) { return std::to_string(value); }

// ---------------------------------------------------------------------------
// Interrupt

namespace {

// The notice, already in the terminal's encoding: the handler may only write.
char ctrlCNotice[256];
size_t ctrlCNoticeLength = 0;

}  // namespace

void onCtrlC(int) {
    int savedErrno = errno;
    ctrlCPressed.store(1);
    // Where ESC cannot be read (no terminal, or a question has it) the
    // advice would send the user to a key that does nothing.
    if (ctrlCNoticeLength > 0 && escCanBeRead.load()) writeAll(STDOUT_FILENO, ctrlCNotice, ctrlCNoticeLength);
    errno = savedErrno;
}

void installCtrlCHandler() {
    static std::once_flag prepared;
    std::call_once(prepared, [] {
        std::string notice =
            consoleBuffer().encoder().convertWhole("本プログラムの終了には Ctrl-C ではなく ESC を使ってください\n");
        ctrlCNoticeLength = std::min(notice.size(), sizeof ctrlCNotice);
        std::memcpy(ctrlCNotice, notice.data(), ctrlCNoticeLength);
    });
    struct sigaction action{};
    action.sa_handler = onCtrlC;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a line being read goes on being read
    ::sigaction(SIGINT, &action, nullptr);
}

void deleteSuspendFile(const std::string& suspendFileName) { std::remove(suspendFileName.c_str()); }
