#include "base/byte_text.h"

#include <limits>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads an optional sign and digits from text[at]; at ends after the digits.
// digitCount says how many digits there were; the value saturates, and
// saturated says whether it had to.
int64_t readSignedDigits(std::string_view text, size_t& at, int& digitCount, bool& saturated) {
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    constexpr int64_t limit = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    saturated = false;
    digitCount = 0;
    for (; at < text.size() && isDigit(text[at]); ++at, ++digitCount) {
        int digit = text[at] - '0';
        if (value > (limit - digit) / 10) saturated = true;
        if (!saturated) value = value * 10 + digit;
    }
    if (saturated) return negative ? std::numeric_limits<int64_t>::min() : limit;
    return negative ? -value : value;
}

}  // namespace

int64_t leadingDecimal(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && isBlank(text[at])) ++at;
    int digits = 0;
    bool saturated = false;
    int64_t value = readSignedDigits(text, at, digits, saturated);
    return digits > 0 ? value : 0;
}

std::optional<int64_t> wholeDecimal(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && isBlank(text[at])) ++at;
    int digits = 0;
    bool saturated = false;
    int64_t value = readSignedDigits(text, at, digits, saturated);
    if (digits == 0 || saturated) return std::nullopt;
    while (at < text.size() && isBlank(text[at])) ++at;
    if (at != text.size()) return std::nullopt;
    return value;
}
