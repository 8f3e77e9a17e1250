#include "position/sfen.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char KIND_LETTERS[] = "?PLNSGBRK";

int kindOfLetter(char upper) {
    switch (upper) {
    case 'P': return PAWN;
    case 'L': return LANCE;
    case 'N': return KNIGHT;
    case 'S': return SILVER;
    case 'G': return GOLD;
    case 'B': return BISHOP;
    case 'R': return ROOK;
    case 'K': return KING;
    default: return 0;
    }
}

bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isLower(char c) { return c >= 'a' && c <= 'z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char toUpper(char c) { return isLower(c) ? char(c - 'a' + 'A') : c; }

std::vector<std::string_view> splitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        size_t j = i;
        while (j < text.size() && text[j] != ' ' && text[j] != '\t') ++j;
        if (j > i) fields.push_back(text.substr(i, j - i));
        i = j;
    }
    return fields;
}

bool parseBoard(std::string_view board, uint8_t diagram[81], std::string& error) {
    int rank = 0, width = 0;
    bool promotedMark = false;
    for (size_t i = 0; i <= board.size(); ++i) {
        const char c = i < board.size() ? board[i] : '/';
        if (c == '/') {
            if (promotedMark) return error = "'+' not followed by a piece", false;
            if (width != 9) return error = "rank " + std::to_string(rank + 1) + " is not 9 squares wide", false;
            ++rank;
            width = 0;
            if (i < board.size() && rank >= 9) return error = "more than 9 ranks", false;
            continue;
        }
        if (isDigit(c)) {
            if (promotedMark) return error = "'+' not followed by a piece", false;
            if (c == '0') return error = "empty-square count 0", false;
            width += c - '0';
            if (width > 9) return error = "rank " + std::to_string(rank + 1) + " is wider than 9 squares", false;
            for (int k = width - (c - '0'); k < width; ++k) diagram[9 * rank + k] = EMPTY;
            continue;
        }
        if (c == '+') {
            if (promotedMark) return error = "doubled '+'", false;
            promotedMark = true;
            continue;
        }
        const int kind = kindOfLetter(toUpper(c));
        if (kind == 0 || !(isUpper(c) || isLower(c))) return error = std::string("unknown piece letter '") + c + "'", false;
        if (promotedMark && (kind == GOLD || kind == KING))
            return error = std::string("'+' before a piece that cannot promote: '") + c + "'", false;
        if (width >= 9) return error = "rank " + std::to_string(rank + 1) + " is wider than 9 squares", false;
        const int owner = isUpper(c) ? ATTACKER : DEFENDER;
        diagram[9 * rank + width] = uint8_t(owner | kind | (promotedMark ? PROMOTED : 0));
        promotedMark = false;
        ++width;
    }
    if (rank != 9) return error = "the board has " + std::to_string(rank) + " ranks, not 9", false;
    return true;
}

bool parseHands(std::string_view hands, int32_t counts[HAND_SLOTS], std::string& error) {
    if (hands == "-") return true;
    size_t i = 0;
    while (i < hands.size()) {
        int n = 0, digits = 0;
        while (i < hands.size() && isDigit(hands[i])) {
            n = n * 10 + (hands[i] - '0');
            ++i;
            if (++digits > 2) return error = "hand count above 99", false;
        }
        if (digits > 0 && n == 0) return error = "hand count 0", false;
        if (i == hands.size()) return error = "hand count without a piece", false;
        const char c = hands[i++];
        const int kind = kindOfLetter(toUpper(c));
        if (kind == 0 || kind == KING || !(isUpper(c) || isLower(c)))
            return error = std::string("bad piece in hand '") + c + "'", false;
        const int code = (isUpper(c) ? ATTACKER : DEFENDER) | kind;
        counts[code] += digits > 0 ? n : 1;
        if (counts[code] > 99) return error = "more than 99 of one piece in hand", false;
    }
    return true;
}

}  // namespace

bool parseSfen(std::string_view text, SfenPosition& out, std::string& error) {
    std::memset(&out, 0, sizeof out);
    const std::vector<std::string_view> fields = splitFields(text);
    if (fields.size() < 3 || fields.size() > 4)
        return error = "expected 3 or 4 fields (board, side, hands, move number)", false;
    if (!parseBoard(fields[0], out.diagram, error)) return false;
    if (fields[1] == "b")
        out.side = ATTACKER;
    else if (fields[1] == "w")
        out.side = DEFENDER;
    else
        return error = "side to move must be 'b' or 'w'", false;
    if (!parseHands(fields[2], out.handCounts, error)) return false;
    if (fields.size() == 4) {
        const std::string_view number = fields[3];
        if (number.size() > 9) return error = "move number too large", false;
        for (char c : number)
            if (!isDigit(c)) return error = "move number is not a number", false;
        if (number.find_first_not_of('0') == std::string_view::npos) return error = "move number 0", false;
    }
    return true;
}

bool setUpFromSfen(Position& pos, std::string_view text, std::string& error) {
    SfenPosition parsed;
    if (!parseSfen(text, parsed, error)) return false;
    std::memset(static_cast<void*>(&pos), 0, sizeof pos);
    setUpPosition(pos, parsed.diagram, parsed.handCounts, parsed.side);
    return true;
}

char sfenLetter(int kind) { return kind >= PAWN && kind <= KING ? KIND_LETTERS[kind] : '?'; }

namespace {

char letterOf(int code) {
    const int kind = kindOf(code);
    const char upper = sfenLetter(kind > KING ? kind - PROMOTED : kind);
    return ownerOf(code) == ATTACKER ? upper : char(upper - 'A' + 'a');
}

void appendBoard(const Position& pos, std::string& text) {
    for (int rank = 1; rank <= 9; ++rank) {
        if (rank > 1) text.push_back('/');
        int empty = 0;
        for (int file = 9; file >= 1; --file) {
            const int code = pos.cell(makeSquare(file, rank));
            if (code == EMPTY) {
                ++empty;
                continue;
            }
            if (empty > 0) text.push_back(char('0' + empty));
            empty = 0;
            if (kindOf(code) > KING) text.push_back('+');
            text.push_back(letterOf(code));
        }
        if (empty > 0) text.push_back(char('0' + empty));
    }
}

void appendHands(const Position& pos, std::string& text) {
    const size_t start = text.size();
    for (const int side : {ATTACKER, DEFENDER})
        for (const int kind : {ROOK, BISHOP, GOLD, SILVER, KNIGHT, LANCE, PAWN}) {
            const int32_t count = pos.hand[side | kind];
            if (count <= 0) continue;
            if (count > 1) text += std::to_string(count);
            text.push_back(letterOf(side | kind));
        }
    if (text.size() == start) text.push_back('-');
}

}  // namespace

std::string sfenOf(const Position& pos) {
    std::string text;
    appendBoard(pos, text);
    text += pos.sideToMove == ATTACKER ? " b " : " w ";
    appendHands(pos, text);
    text += " 1";
    return text;
}
