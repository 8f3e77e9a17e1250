#include "driver/notation.h"

#include <array>
#include <cstdlib>
#include <fstream>

#include "base/console.h"

const std::map<std::string_view, uint8_t> glyphToCode = {
    {"・", EMPTY},  {"歩", 1},  {"香", 2},  {"桂", 3},  {"銀", 4},  {"金", 5},
    {"角", 6},      {"飛", 7},  {"玉", 8},  {"王", 8},  {"と", 9},  {"杏", 10},
    {"圭", 11},     {"全", 12}, {"馬", 14}, {"龍", 15}, {"竜", 15}, {"●", WALL},
};

namespace {

// Kind 1..15 in code order; kind 13 (a gold with the promotion bit) is never
// produced and is shown as a gold.
constexpr std::string_view ATTACKER_NAMES[15] = {"歩", "香", "桂", "銀", "金", "角", "飛", "王",
                                                 "と", "杏", "圭", "全", "金", "馬", "龍"};
constexpr std::string_view DEFENDER_NAMES[15] = {"歩", "香", "桂", "銀", "金", "角", "飛", "玉",
                                                 "と", "杏", "圭", "全", "金", "馬", "龍"};

constexpr std::array<std::string_view, 64> buildCellGlyphs() {
    std::array<std::string_view, 64> table{};
    for (auto& entry : table) entry = "   ";
    table[EMPTY] = " ・";
    table[WALL] = " ●";
    constexpr std::string_view attacker[15] = {" 歩", " 香", " 桂", " 銀", " 金", " 角", " 飛", " 王",
                                               " と", " 杏", " 圭", " 全", " 金", " 馬", " 龍"};
    constexpr std::string_view defender[15] = {"v歩", "v香", "v桂", "v銀", "v金", "v角", "v飛", "v玉",
                                               "vと", "v杏", "v圭", "v全", "v金", "v馬", "v龍"};
    for (int kind = 1; kind <= 15; ++kind) {
        table[ATTACKER | kind] = attacker[kind - 1];
        table[DEFENDER | kind] = defender[kind - 1];
    }
    return table;
}

constexpr std::array<std::string_view, 64> buildPieceNames() {
    std::array<std::string_view, 64> table{};
    for (auto& entry : table) entry = "  ";
    table[WALL] = "●";
    for (int kind = 1; kind <= 15; ++kind) {
        table[ATTACKER | kind] = ATTACKER_NAMES[kind - 1];
        table[DEFENDER | kind] = DEFENDER_NAMES[kind - 1];
    }
    return table;
}

}  // namespace

const std::array<std::string_view, 64> cellGlyphs = buildCellGlyphs();
const std::array<std::string_view, 64> pieceNames = buildPieceNames();

// ---------------------------------------------------------------------------
// Diagram

namespace {

// Rook first, pawn last; "なし" for an empty hand. A count of 2 or more is
// written in ASCII digits after the name.
std::string handText(const Position& pos, int owner) {
    static constexpr int ORDER[7] = {ROOK, BISHOP, GOLD, SILVER, KNIGHT, LANCE, PAWN};
    std::string text;
    for (int kind : ORDER) {
        int count = pos.hand[owner | kind];
        if (count <= 0) continue;
        text += pieceNames[owner | kind];
        if (count >= 2) text += decimalText(int32_t(count));
        text += ' ';
    }
    return text.empty() ? std::string("なし") : text;
}

}  // namespace

std::string diagramText(const Position& pos) {
    std::string text;
    text += "持駒：" + handText(pos, DEFENDER) + "\n";
    text += "  ９ ８ ７ ６ ５ ４ ３ ２ １ \n";
    text += "+---------------------------+\n";
    for (int rank = 1; rank <= 9; ++rank) {
        text += '|';
        for (int file = 9; file >= 1; --file) text += cellGlyphs[pos.cell(makeSquare(file, rank)) & 63];
        text += '|';
        text += rankNumerals[rank];
        text += '\n';
    }
    text += "+---------------------------+\n";
    text += "持駒：" + handText(pos, ATTACKER) + "\n";
    return text;
}

bool formatDiagram(const Position& pos, const std::string& fileName) {
    std::string text = diagramText(pos);
    if (fileName.empty()) {
        consoleOut() << text << std::flush;
        return true;
    }
    std::ofstream file(fileName, std::ios::out | std::ios::app | std::ios::binary);
    file << text;
    file.close();  // a failed close loses text as a failed write does
    return !file.fail();
}

// ---------------------------------------------------------------------------
// Move texts

namespace {

std::string twoDigits(int square) {
    std::string text;
    text += char('0' + fileOf(square) % 10);
    text += char('0' + rankOf(square) % 10);
    return text;
}

// Orientation of the mover: for the attacker forward is toward rank 1 and
// right toward file 1; for the defender both are mirrored.
struct Orientation {
    int owner;

    // > 0 when b lies forward of a, < 0 backward, 0 on the same rank.
    int forward(int a, int b) const {
        int delta = rankOf(a) - rankOf(b);
        return owner == ATTACKER ? delta : -delta;
    }
    bool rightOf(int a, int b) const {  // a stands right of b
        return owner == ATTACKER ? fileOf(a) < fileOf(b) : fileOf(a) > fileOf(b);
    }
    bool leftOf(int a, int b) const { return fileOf(a) != fileOf(b) && !rightOf(a, b); }
};

constexpr std::string_view WORD_RIGHT = "右";
constexpr std::string_view WORD_LEFT = "左";
constexpr std::string_view WORD_UP = "上";
constexpr std::string_view WORD_BACK = "引";
constexpr std::string_view WORD_SIDEWAYS = "寄";
constexpr std::string_view WORD_STRAIGHT = "直";

bool inPromotionZone(int owner, int square) {
    int rank = rankOf(square);
    return owner == ATTACKER ? rank >= 1 && rank <= 3 : rank >= 7 && rank <= 9;
}

// The direction whose offset is the negation of direction d's.
int oppositeDirection(int d) { return d < 8 ? 7 - d : 19 - d; }

bool strictlySameSideOfRank(int a, int b, int reference) {
    int da = rankOf(a) - rankOf(reference), db = rankOf(b) - rankOf(reference);
    return (da > 0 && db > 0) || (da < 0 && db < 0);
}

// The word that tells the mover apart from the other pieces of its code that
// could reach the same square; "打" for such a drop, empty when no other
// piece could.
std::string disambiguation(const Position& pos, Move move) {
    const int piece = move.piece;
    const int kind = piece & 15;
    const Orientation side{piece & 0x30};
    const bool drop = isDrop(move);
    const int from = move.from, to = move.to;
    const bool longRange = kind == BISHOP || kind == ROOK || kind == HORSE || kind == DRAGON;
    const bool sliding = longRange || kind == LANCE;

    std::string_view moverVertical;
    if (!drop) {
        int f = side.forward(from, to);
        moverVertical = f > 0 ? WORD_UP : f < 0 ? WORD_BACK : WORD_SIDEWAYS;
    }
    // The mover's side word against another piece; unchanged on one file.
    auto sideWordAgainst = [&](int other, std::string_view current) {
        if (side.rightOf(from, other)) return WORD_RIGHT;
        if (side.leftOf(from, other)) return WORD_LEFT;
        return current;
    };
    const bool stepStraightForward = !drop && fileOf(from) == fileOf(to) && side.forward(from, to) == 1;
    const bool stepStraightBack = !drop && fileOf(from) == fileOf(to) && side.forward(from, to) == -1;

    int others = 0, leftCount = 0, rightCount = 0, sameRankCount = 0;
    std::string_view h, v, spare;

    for (int d = 0; d < DIRECTION_COUNT; ++d) {
        const int offset = directionOffset[d];
        const int p = to - offset;
        bool finished = false;
        if (!drop && p == from) {
            if (side.leftOf(from, to)) ++leftCount;
            if (side.rightOf(from, to)) ++rightCount;
        } else if (pos.cell(p) == piece) {
            const bool onMoverRank = !drop && rankOf(p) == rankOf(from);
            if (onMoverRank && !longRange) ++sameRankCount;
            if (movesIn(piece, d)) {
                ++others;
                if (side.leftOf(p, to)) ++leftCount;
                if (side.rightOf(p, to)) ++rightCount;
                if (!drop && rankOf(p) != rankOf(from)) {
                    v = moverVertical;
                    if (longRange && strictlySameSideOfRank(from, p, to)) h = sideWordAgainst(p, h);
                }
                if (onMoverRank) {
                    if (stepStraightForward && !longRange) {
                        h = WORD_STRAIGHT;
                        finished = true;
                    } else {
                        if (stepStraightForward) spare = WORD_STRAIGHT;
                        if (stepStraightBack) spare = WORD_BACK;
                        h = sideWordAgainst(p, h);
                    }
                }
            }
        }
        if (finished || !sliding) continue;
        // A slider further along the far side of the destination. The scan
        // ends at the first occupied cell; the wall frame guarantees one.
        int q = to + offset;
        while (pos.cell(q) == EMPTY) q += offset;
        if ((drop || q != from) && pos.cell(q) == piece && slidesIn(piece, oppositeDirection(d))) {
            const bool besideMover = !drop && rankOf(q) == rankOf(from) && std::abs(fileOf(q) - fileOf(from)) == 1;
            if (!besideMover) ++others;
            if (!drop) {
                v = moverVertical;
                const bool allOnOneRank = rankOf(from) == rankOf(q) && rankOf(q) == rankOf(to);
                if (strictlySameSideOfRank(from, q, to) || allOnOneRank) {
                    h = sideWordAgainst(q, h);
                    v = {};
                }
            }
        }
    }

    if (others == 0) return {};
    if (drop) return "打";
    if (leftCount == 0 || rightCount == 0) {
        if (others >= 2 && !spare.empty()) {
            h = spare;
            v = {};
        }
    } else if (fileOf(from) == fileOf(to)) {
        if (v == WORD_UP) {
            h = (!longRange && sameRankCount == 0) ? WORD_UP : WORD_STRAIGHT;
            v = {};
        }
        if (v == WORD_BACK) h = longRange ? WORD_STRAIGHT : std::string_view{};
    }
    const bool fewOnRight = longRange ? rightCount == 0 : rightCount < 2;
    const bool fewOnLeft = longRange ? leftCount == 0 : leftCount < 2;
    if ((h == WORD_RIGHT && fewOnRight) || (h == WORD_LEFT && fewOnLeft)) v = {};

    return std::string(h) + std::string(v);
}

}  // namespace

std::string formatMove(const Position& before, Move move) {
    const int piece = move.piece;
    const int owner = piece & 0x30;
    std::string text;
    if (move.to == before.lastMove.to) {
        text += "同";
    } else {
        text += twoDigits(move.to);
    }
    text += pieceNames[piece & 63];
    text += disambiguation(before, move);
    if (move.promote) {
        text += "成";
    } else if (!isDrop(move) && promotable[piece & 63] &&
               (inPromotionZone(owner, move.from) || inPromotionZone(owner, move.to))) {
        text += "生";
    }
    text += ' ';
    return text;
}

std::string formatMoveRecord(Move move) {
    std::string text = twoDigits(move.to);
    text += pieceNames[move.piece & 63];
    if (move.promote) text += "成";
    if (isDrop(move)) {
        text += "打";
    } else {
        text += '(' + twoDigits(move.from) + ')';
    }
    return text;
}

void printMoveRecord(Move move) { consoleOut() << formatMoveRecord(move) << '\t'; }
