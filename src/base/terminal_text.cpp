#include "base/terminal_text.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <unistd.h>

#include "base/byte_text.h"

namespace {

iconv_t handleOf(void* converter) { return static_cast<iconv_t>(converter); }

bool isTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7e) || (b >= 0x80 && b <= 0xfc); }

// Width of the character at text[i]: 2 for a lead byte with a valid second
// byte, 0 for a lead byte at the very end (its second half is still to
// come), 1 otherwise. A lead byte before a line end is a broken character of
// one byte, so the line end survives.
size_t characterWidth(std::string_view text, size_t i) {
    if (!isCp932LeadByte(static_cast<unsigned char>(text[i]))) return 1;
    if (i + 1 == text.size()) return 0;
    return isTrailByte(static_cast<unsigned char>(text[i + 1])) ? 2 : 1;
}

// An iconv conversion, closed with its owner; invalid when the system has
// no such conversion.
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return cd_ != iconv_t(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Converts whole characters; one that iconv cannot convert becomes '?'. A
// CP932 character is skipped whole, a byte of any other text alone.
std::string convertCharacters(iconv_t cd, std::string_view text, bool fromCp932) {
    std::string out;
    out.reserve(text.size() * 3 / 2 + 8);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char chunk[1024];
    while (inLeft > 0) {
        char* outPtr = chunk;
        size_t outLeft = sizeof chunk;
        size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(chunk, size_t(outPtr - chunk));
        if (result != size_t(-1) || errno == E2BIG) continue;
        // EILSEQ or EINVAL: skip the character that stopped the conversion.
        size_t width = fromCp932 ? std::max<size_t>(characterWidth(std::string_view(in, inLeft), 0), 1) : 1;
        out += '?';
        in += width;
        inLeft -= width;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

// Length of the prefix of text made of whole characters; a lead byte at the
// very end is left out.
size_t wholeCharacterPrefix(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        size_t width = characterWidth(text, i);
        if (width == 0) break;
        i += width;
    }
    return i;
}

}  // namespace

TerminalEncoder::TerminalEncoder(bool toUtf8) {
    if (!toUtf8) return;
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd != iconv_t(-1)) converter_ = cd;
}

TerminalEncoder::~TerminalEncoder() {
    if (converter_) iconv_close(handleOf(converter_));
}

std::string TerminalEncoder::feed(std::string_view text) {
    if (!converter_) return std::string(text);
    pending_.append(text);
    size_t whole = wholeCharacterPrefix(pending_);
    std::string out = convertCharacters(handleOf(converter_), std::string_view(pending_).substr(0, whole), true);
    pending_.erase(0, whole);
    return out;
}

std::string TerminalEncoder::convertWhole(std::string_view text) const {
    if (!converter_) return std::string(text);
    return convertText(text, "UTF-8", "CP932");
}

std::string convertText(std::string_view text, const char* to, const char* from) {
    const IconvHandle handle(to, from);
    if (!handle.valid()) return std::string(text);
    return convertCharacters(handle.get(), text, std::string_view(from) == "CP932");
}

int readInputByte(InputStream& in) {
    if (in.start < in.end) return static_cast<unsigned char>(in.buffer[in.start++]);
    if (in.atEnd) return -1;
    while (true) {
        ssize_t n = ::read(in.fd, in.buffer, sizeof in.buffer);
        if (n > 0) {
            in.start = 0;
            in.end = size_t(n);
            return static_cast<unsigned char>(in.buffer[in.start++]);
        }
        if (n < 0 && errno == EINTR) continue;
        in.atEnd = true;  // end of input, or an error that would only repeat
        return -1;
    }
}

bool readInputLine(InputStream& in, std::string& line) {
    line.clear();
    int c = readInputByte(in);
    if (c < 0) return false;
    for (; c >= 0 && c != '\n'; c = readInputByte(in)) line += char(c);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool askYesNo(InputStream& in, char letter) {
    auto upper = [](int c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    auto blank = [](int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    int c = readInputByte(in);
    while (c >= 0 && blank(c)) c = readInputByte(in);
    if (c < 0) return false;
    const int answer = upper(c);
    // The rest of the answer line must not reach the next prompt.
    for (int rest = c; rest >= 0 && rest != '\n';) rest = readInputByte(in);
    return answer == upper(static_cast<unsigned char>(letter));
}
