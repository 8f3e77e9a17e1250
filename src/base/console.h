// Console services. This is the only place that talks to the terminal.
//
// Every text handed to these functions is CP932. On a terminal whose locale
// codeset is UTF-8 it is converted before it is written; otherwise the bytes
// go out as they are. Colours and the title are written only when standard
// output is a terminal.
#pragma once

#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

// The console output stream, for the main thread. Each output operation is
// written when it ends; the column of the cursor is tracked from what the
// program wrote.
std::ostream& consoleOut();

// Writes text to the console; safe from any thread (the keyboard thread's
// notices), as it does not touch the stream's formatting state.
void consoleWrite(std::string_view text);

// A file name as the user typed it (on the command line or at the prompt):
// already in the terminal's encoding, so it goes out unconverted, whatever
// the locale; a control byte is shown as '?'. Another stream gets the same
// bytes.
struct TypedName {
    std::string_view bytes;
};
inline TypedName asTyped(std::string_view name) { return TypedName{name}; }
std::ostream& operator<<(std::ostream& out, TypedName name);

// True when the cursor stands in column 0 (nothing written since the last
// line end).
bool cursorAtColumnZero();

// Writes a line end when the cursor is not in column 0.
void newLineIfNeeded();

// Text attributes: 7 normal, 8 grey, 11 light cyan, 14 yellow.
constexpr int ATTR_NORMAL = 7;
constexpr int ATTR_GREY = 8;
constexpr int ATTR_CYAN = 11;
constexpr int ATTR_YELLOW = 14;
void setTextAttribute(int attribute);

void setConsoleTitle(std::string_view text);
// The title text followed by a file name as typed.
void setConsoleTitle(std::string_view text, TypedName name);

// Prints "何かキーを押してください..." and waits for one key.
void waitForKey();
// Waits for one key without a prompt.
void waitForKeySilently();

// Reads an answer; true when its first non-blank character, upper-cased,
// equals the given letter. The rest of the answer line is discarded. End of
// input answers false.
bool askYesNo(char letter);
// The same after writing the question. The key poller stands aside before
// the question appears, so that an answer typed at once reaches it.
bool askYesNo(std::string_view question, char letter);

// Reads one whole line from standard input (the problem file name prompt),
// spaces kept, the line end dropped. False at end of input.
bool readInputLine(std::string& line);

// The elapsed seconds of the run, kept by the entry sequence.
extern int32_t elapsedSeconds;
std::string elapsedText();
std::string elapsedText(int32_t seconds);
std::string decimalText(int64_t value);
std::string decimalText(uint64_t value);
inline std::string decimalText(int32_t value) { return decimalText(int64_t(value)); }

// Set by the interrupt handler, consumed by the search's interruption check.
extern std::atomic<uint8_t> ctrlCPressed;
// Sets ctrlCPressed and, while the key poller reads a terminal (ESC can be
// pressed), writes "本プログラムの終了には Ctrl-C ではなく ESC を使ってください";
// only async-signal-safe calls.
void onCtrlC(int signalNumber);
// Installs onCtrlC for SIGINT (again, when called again).
void installCtrlCHandler();

// Key polling for the search's keyboard thread.
// keyPollingAvailable: standard input is a terminal.
bool keyPollingAvailable();
// Puts the terminal into single-key mode (no echo, no line buffering, signals
// still delivered) until leaveKeyMode; the settings are restored on every exit
// path of the process.
void enterKeyMode();
void leaveKeyMode();
// Waits at most timeoutMs for a key; returns its code, or -1 when none came.
// A lone ESC is returned as 27; the escape sequence of an arrow or function
// key is swallowed whole.
int pollKey(int timeoutMs);
// While the main thread asks a question the poller must not read the keys
// typed for the answer: suspendKeyPolling makes pollKey return -1 without
// reading, resumeKeyPolling ends that.
void suspendKeyPolling();
void resumeKeyPolling();

// Removes the suspend file; a failure is not reported.
void deleteSuspendFile(const std::string& suspendFileName);
