// The parts of the console that do not need a terminal: the conversion of
// the program's CP932 text to the terminal's encoding, and the reading of
// answers from an input descriptor. console.cpp puts them on standard
// output and standard input; tests use them on pipes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Converts CP932 text to UTF-8, or passes it through unchanged. Text may
// arrive in arbitrary pieces: a double-byte character split between two
// pieces is held back until it is whole. A byte sequence that has no UTF-8
// form comes out as '?'.
class TerminalEncoder {
public:
    explicit TerminalEncoder(bool toUtf8);
    ~TerminalEncoder();
    TerminalEncoder(const TerminalEncoder&) = delete;
    TerminalEncoder& operator=(const TerminalEncoder&) = delete;

    bool converts() const { return converter_ != nullptr; }
    // The output for the next piece of text; at most one lead byte is kept.
    std::string feed(std::string_view text);
    // The whole conversion of a complete text, independent of what feed holds.
    std::string convertWhole(std::string_view text) const;

private:
    void* converter_ = nullptr;  // iconv_t
    std::string pending_;        // a lead byte waiting for its second half
};

// Text converted from one encoding to another (iconv names); a character
// with no form in the other encoding comes out as '?'. Unchanged when the
// system cannot convert between the two.
std::string convertText(std::string_view text, const char* to, const char* from);

// Buffered reading of one input descriptor. The end of input is sticky: once
// it is met, every later read fails at once, so a run with no more input
// answers every question No and ends every key wait.
struct InputStream {
    int fd = 0;
    char buffer[4096];
    size_t start = 0;
    size_t end = 0;
    bool atEnd = false;
};

// The next byte, or -1 at the end of input.
int readInputByte(InputStream& in);
// Whether a byte can be read without waiting for the descriptor.
inline bool inputBuffered(const InputStream& in) { return in.start < in.end; }
// Reads up to the next LF (dropped, with a CR before it). False when the
// input ended before any byte of the line.
bool readInputLine(InputStream& in, std::string& line);
// The first non-blank character (line ends before it skipped), upper-cased,
// compared with the letter; the rest of that line is discarded. False at the
// end of input.
bool askYesNo(InputStream& in, char letter);
