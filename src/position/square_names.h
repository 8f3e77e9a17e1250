// The diagram's numerals and the names of squares in them, for the
// diagram, the notation and messages. Texts are CP932.
#pragma once

#include <string>
#include <string_view>

// "０", "一" … "十" by index 0..10.
extern const std::string_view rankNumerals[11];
// "０", "１" … "９" by index 0..9.
extern const std::string_view fileNumerals[10];

// "５三": a square in the diagram's own numerals, for messages.
std::string squareName(int square);
