// Byte-level helpers for the CP932 text of problem files.
//
// Keys are found by plain byte-substring search, anywhere in a line and not
// aligned to characters; problem files have always been read that way, and
// keywords that are part of a longer word match too.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

inline bool contains(std::string_view text, std::string_view key) {
    return text.find(key) != std::string_view::npos;
}

// The bytes after the first occurrence of key, or nothing when key is absent.
inline std::optional<std::string_view> restAfter(std::string_view text, std::string_view key) {
    size_t at = text.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    return text.substr(at + key.size());
}

// A leading decimal number: blanks skipped, an optional sign, the digits up
// to the first non-digit; 0 when there are none. Values beyond the 64-bit
// range saturate, so callers can range-check instead of seeing a wrapped
// value.
int64_t leadingDecimal(std::string_view text);

// A whole decimal integer: optional blanks, an optional sign, at least one
// digit, optional blanks, nothing else. Nothing when the text is not one or
// does not fit 64 bits.
std::optional<int64_t> wholeDecimal(std::string_view text);

// Whether the name ends with the extension (".kifu"), ASCII letters in
// either case.
inline bool hasExtension(std::string_view name, std::string_view extension) {
    if (name.size() < extension.size()) return false;
    const std::string_view tail = name.substr(name.size() - extension.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? char(tail[i] - 'A' + 'a') : tail[i];
        if (c != extension[i]) return false;
    }
    return true;
}

// CP932: whether a byte begins a double-byte character.
inline bool isCp932LeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
