#include "position/square_names.h"

#include "position/types.h"

const std::string_view rankNumerals[11] = {"０", "一", "二", "三", "四", "五",
                                           "六", "七", "八", "九", "十"};
const std::string_view fileNumerals[10] = {"０", "１", "２", "３", "４",
                                           "５", "６", "７", "８", "９"};

std::string squareName(int square) {
    std::string text(fileNumerals[fileOf(square) % 10]);
    text += rankNumerals[rankOf(square) % 11];
    return text;
}
