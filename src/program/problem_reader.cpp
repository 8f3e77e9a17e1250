#include "program/problem_reader.h"

#include <algorithm>
#include <limits>
#include <string>

#include "base/byte_text.h"
#include "base/terminal_text.h"
#include "driver/notation.h"
#include "driver/problem_header.h"
#include "program/keywords.h"
#include "search/search_context.h"

namespace {

// A problem file is a few kilobytes; anything near this size is not one, and
// reading it whole would only exhaust memory.
constexpr size_t MAX_FILE_BYTES = 16u << 20;

// The file's lines, one at a time. A line ends at LF; a CR before the LF is
// dropped, so CR LF and LF files read alike.
struct LineCursor {
    std::string_view text;
    size_t position = 0;

    bool next(std::string_view& line) {
        if (position >= text.size()) return false;
        size_t end = text.find('\n', position);
        if (end == std::string_view::npos) end = text.size();
        line = text.substr(position, end - position);
        position = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
    }
};

// A byte that text does not hold: NUL and the other control bytes, except
// tabs and line ends. DOS end-of-file marks pass here: those at the very end
// are dropped afterwards, any other is refused then.
bool isNonTextByte(unsigned char b) {
    return (b < 0x20 || b == 0x7f) && b != '\t' && b != '\n' && b != '\r' && b != 0x1a;
}

std::string notTextRefusal(const std::string& text, size_t at) {
    long line = 1 + std::count(text.begin(), text.begin() + long(at), '\n');
    return "エラー：テキストファイルではありません（" + std::to_string(line) + "行目に制御文字があります）";
}

// Reads the whole stream, refusing a file that is not text as soon as a
// block shows it (so that a device or a binary file is not read whole).
bool readWholeText(std::istream& in, std::string& text, std::string& refusal) {
    char block[65536];
    while (in) {
        in.read(block, sizeof block);
        const size_t start = text.size();
        text.append(block, size_t(in.gcount()));
        for (size_t i = start; i < text.size(); ++i) {
            if (!isNonTextByte(static_cast<unsigned char>(text[i]))) continue;
            refusal = notTextRefusal(text, i);
            return false;
        }
        if (text.size() > MAX_FILE_BYTES) {
            refusal = "エラー：ファイルが大きすぎます。問題ファイルではないようです";
            return false;
        }
    }
    if (in.bad()) {
        refusal = "エラー：ファイルを読み込めませんでした";
        return false;
    }
    while (!text.empty() && text.back() == '\x1a') text.pop_back();
    size_t mark = text.find('\x1a');
    if (mark != std::string::npos) {
        refusal = notTextRefusal(text, mark);
        return false;
    }
    return true;
}

// The length of a UTF-8 sequence from its lead byte, 0 for a byte that
// cannot lead one.
size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Strict UTF-8 (no overlong forms, surrogates or code points past U+10FFFF)
// with at least one character beyond ASCII.
bool isUtf8BeyondAscii(std::string_view text) {
    bool beyondAscii = false;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = utf8SequenceLength(lead);
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        if (length > 1) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
                (lead == 0xF4 && second > 0x8F))
                return false;
            beyondAscii = true;
        }
        i += length;
    }
    return beyondAscii;
}

// GUIs write KIFU files, and often KIF files too, in UTF-8; the program reads
// CP932. A byte-order mark says UTF-8. Without one, text that is valid UTF-8
// and holds more than ASCII is taken as UTF-8: Japanese CP932 text is next to
// never valid UTF-8, since its kana and most kanji put a byte of 0x80..0xBF
// where UTF-8 wants a lead byte. A character CP932 lacks becomes "?".
void takeUtf8AsCp932(std::string& text) {
    constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
    const bool marked = std::string_view(text).substr(0, BYTE_ORDER_MARK.size()) == BYTE_ORDER_MARK;
    if (marked) text.erase(0, BYTE_ORDER_MARK.size());
    if (marked || isUtf8BeyondAscii(text)) text = convertText(text, "CP932", "UTF-8");
}

// The standard set of one game, by hand kind 1..7 (kings aside).
constexpr int STANDARD_SET[8] = {0, 18, 4, 4, 4, 4, 2, 2};

// "残り全部": the side holds every piece of the standard set that is neither
// on the board nor in the other side's hand; promoted pieces count as their
// unpromoted kind.
void giveRestOfSet(ProblemSetup& setup, int side) {
    int used[8] = {};
    for (uint8_t code : setup.diagram) {
        if (code == EMPTY || code == WALL) continue;
        used[handKindOf(code)] += 1;  // kings have hand kind 0
    }
    const int other = otherSide(side);
    for (int kind = PAWN; kind <= ROOK; ++kind) {
        int rest = STANDARD_SET[kind] - used[kind] - setup.handCounts[other | kind];
        setup.handCounts[side | kind] = std::max(rest, 0);
    }
}

std::string rankText(int rank) { return std::string(rankNumerals[rank]) + "段目"; }

// A glyph worth quoting in a message: one well-formed double-byte character.
bool printableGlyph(std::string_view glyph) {
    unsigned char lead = static_cast<unsigned char>(glyph[0]);
    unsigned char trail = static_cast<unsigned char>(glyph[1]);
    return isCp932LeadByte(lead) && trail >= 0x40 && trail != 0x7f && trail <= 0xfc;
}

// One row of the diagram: byte 0 the bar, then per cell a side prefix and a
// two-byte glyph, file 9 first.
bool readDiagramRow(std::string_view row, int rank, ProblemSetup& setup, std::string& refusal) {
    constexpr size_t ROW_BYTES = 1 + 9 * 3;
    if (row.size() < ROW_BYTES) {
        refusal = "盤面図の" + rankText(rank) + "が短すぎます（９マス分の駒が読めません）";
        return false;
    }
    for (int cell = 0; cell < 9; ++cell) {
        const char prefix = row[1 + 3 * cell];
        const std::string_view glyph = row.substr(2 + 3 * cell, 2);
        const int file = 9 - cell;
        auto known = glyphToCode.find(glyph);
        if (known == glyphToCode.end()) {
            refusal = "盤面図の" + squareName(makeSquare(file, rank)) + "の駒";
            if (printableGlyph(glyph)) refusal += "「" + std::string(glyph) + "」";
            refusal += "が読めません";
            return false;
        }
        const uint8_t kind = known->second;
        uint8_t code = EMPTY;
        if (kind != EMPTY) code = kind | (prefix == 'v' ? DEFENDER : ATTACKER);
        setup.diagram[diagramIndex(file, rank)] = code;
    }
    return true;
}

bool refuseHandCount(const std::string& numeral, std::string& refusal) {
    refusal = "持駒数の指定が誤っています：" + numeral;
    return false;
}

// The diagram block, from the defender's hand line that started it: two
// heading lines, nine rows, the bottom border and the attacker's hand line.
// That last line is consumed whatever it holds.
bool readDiagramBlock(std::string_view handLine, LineCursor& lines, ProblemSetup& setup, std::string& refusal) {
    bool restOfSet[2] = {false, false};  // defender, attacker
    std::string numeral;
    HandLineResult result = parseHandLine(handLine, DEFENDER, setup.handCounts, numeral);
    if (result == HAND_BAD_COUNT) return refuseHandCount(numeral, refusal);
    restOfSet[0] = result == HAND_REST_OF_SET;

    std::string_view line;
    for (int heading = 0; heading < 2; ++heading) {
        if (!lines.next(line)) {
            refusal = "盤面図が途中で終わっています（" + rankText(1) + "がありません）";
            return false;
        }
    }
    for (int rank = 1; rank <= 9; ++rank) {
        if (!lines.next(line)) {
            refusal = "盤面図が途中で終わっています（" + rankText(rank) + "がありません）";
            return false;
        }
        if (!readDiagramRow(line, rank, setup, refusal)) return false;
    }
    // The board is complete; a file that ends here simply has no attacker's hand line.
    if (lines.next(line) && lines.next(line) && contains(line, "持駒：")) {
        result = parseHandLine(line, ATTACKER, setup.handCounts, numeral);
        if (result == HAND_BAD_COUNT) return refuseHandCount(numeral, refusal);
        restOfSet[1] = result == HAND_REST_OF_SET;
    }
    // The rest can be counted only now that the board and the other hand are known.
    if (restOfSet[0] && restOfSet[1]) {
        refusal = "持駒の「残り全部」は片方の持駒にしか指定できません";
        return false;
    }
    if (restOfSet[0]) giveRestOfSet(setup, DEFENDER);
    if (restOfSet[1]) giveRestOfSet(setup, ATTACKER);
    return true;
}

// The composer's list after "手数----指手", up to an empty line or the end.
void readMoveList(LineCursor& lines) {
    int side = problem.recordSide;
    int lastTo = 0;
    std::string_view line;
    while (lines.next(line)) {
        if (line.empty()) return;
        if (line[0] == '*') continue;  // a comment
        if (line[0] == ' ' || (line[0] >= '1' && line[0] <= '9')) {
            parseEnteredMove(line, side, lastTo);
            side = otherSide(side);
        }
    }
}

// A "手数：" figure that does not fit 16 bits is stored as -1, which the
// solve driver's range check refuses; a wrapped value could look valid.
int16_t moveCountOf(int64_t value) {
    if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) return -1;
    return int16_t(value);
}

bool readHeaderLine(std::string_view line, LineCursor& lines, ProblemSetup& setup, std::string& refusal) {
    if (auto rest = restAfter(line, "作品名：")) {
        if (problem.caption.empty()) problem.caption = *rest;
    }
    for (std::string_view key : {"作者：", "発表誌：", "発表年月："}) {
        auto rest = restAfter(line, key);
        if (!rest) continue;
        if (!problem.caption.empty()) problem.caption += "／";
        problem.caption += *rest;
    }
    if (auto rest = restAfter(line, "手数：")) {
        problem.statedMoveCount = leadingDecimal(*rest);
        problem.moveCount = moveCountOf(problem.statedMoveCount);
        problem.moveCountSource = ProblemHeader::MoveCountSource::Stated;
    }
    if (auto rest = restAfter(line, "分類：")) {
        problem.className = *rest;
        interpretClass(std::string(problem.className));
    }
    if (contains(line, "備考：")) interpretOptions(line);
    if (contains(line, "手合割：")) problem.recordSide = contains(line, "平手") ? ATTACKER : DEFENDER;
    if (contains(line, "持駒：") && !readDiagramBlock(line, lines, setup, refusal)) return false;
    if (contains(line, "後手番")) problem.recordSide = DEFENDER;
    if (contains(line, "下手番")) problem.recordSide = ATTACKER;
    if (contains(line, "手数----指手")) readMoveList(lines);
    return true;
}

// Without a "手数：" line the move list gives the length, as files written by
// shogi GUIs have it; with neither there is no length to search for.
bool takeMoveCountFromMoveList(std::string& refusal) {
    if (problem.moveCountSource == ProblemHeader::MoveCountSource::Stated) return true;
    const size_t moves = searchContext.composerLine.size();
    if (moves == 0) {
        refusal = "手数の指定がありません（「手数：」の行か、「手数----指手」に続く指し手で指定してください）";
        return false;
    }
    problem.statedMoveCount = int64_t(moves);
    problem.moveCount = moveCountOf(problem.statedMoveCount);
    problem.moveCountSource = ProblemHeader::MoveCountSource::MoveList;
    return true;
}

// Two-byte kanji numerals 一 … 十 -> 1 … 10, 0 for anything else.
int kanjiDigit(std::string_view text) {
    for (int value = 1; value <= 10; ++value)
        if (text == rankNumerals[value]) return value;
    return 0;
}

}  // namespace

int parseKanjiCount(std::string_view text) {
    constexpr int TEN = 10;
    switch (text.size()) {
    case 2: {
        int value = kanjiDigit(text);
        return value ? value : -1;
    }
    case 4: {
        int first = kanjiDigit(text.substr(0, 2)), second = kanjiDigit(text.substr(2, 2));
        if (first == TEN && second >= 1 && second <= 9) return 10 + second;
        if (second == TEN && first >= 1 && first <= 9) return 10 * first;
        return -1;
    }
    case 6: {
        int tens = kanjiDigit(text.substr(0, 2)), middle = kanjiDigit(text.substr(2, 2));
        int units = kanjiDigit(text.substr(4, 2));
        if (middle == TEN && tens >= 1 && tens <= 9 && units >= 1 && units <= 9) return 10 * tens + units;
        return -1;
    }
    default:
        return 1;  // a piece letter alone counts one piece
    }
}

HandLineResult parseHandLine(std::string_view line, int side, int32_t handCounts[HAND_SLOTS],
                             std::string& badNumeral) {
    static constexpr struct {
        std::string_view name;
        int kind;
    } PIECES[] = {{"飛", ROOK}, {"角", BISHOP}, {"金", GOLD}, {"銀", SILVER},
                  {"桂", KNIGHT}, {"香", LANCE}, {"歩", PAWN}};
    auto rest = restAfter(line, "持駒：");
    if (!rest) return HAND_READ;
    std::string_view text = *rest;
    if (contains(text, "残り全部")) return HAND_REST_OF_SET;
    constexpr std::string_view SEPARATOR = "　";
    while (true) {
        size_t end = text.find(SEPARATOR);
        std::string_view entry = text.substr(0, end);
        // Trailing ASCII blanks are layout, not part of the numeral.
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) entry.remove_suffix(1);
        for (const auto& piece : PIECES) {
            if (entry.substr(0, 2) != piece.name) continue;
            std::string_view numeral = entry.substr(2);
            int count = parseKanjiCount(numeral);
            if (count < 0) {
                badNumeral = numeral;
                return HAND_BAD_COUNT;
            }
            handCounts[side | piece.kind] = count;
            break;
        }
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + SEPARATOR.size());
    }
    return HAND_READ;
}

bool parseEnteredMove(std::string_view line, int side, int& lastTo) {
    int to = 0;
    for (int file = 9; file >= 1; --file) {
        if (contains(line, fileNumerals[file])) {
            to = file * 16;
            break;
        }
    }
    for (int rank = 1; rank <= 9; ++rank)
        if (contains(line, rankNumerals[rank])) to += rank;
    if (contains(line, "同")) {
        to = lastTo;
    } else {
        lastTo = to;
    }

    // The highest kind named in the line; "王" and "竜" are read as the king
    // and the dragon, as record writers often write them.
    int kind = 0;
    for (int k = 1; k <= 15; ++k) {
        if (k == 13) continue;  // shares the name of the gold
        if (contains(line, pieceNames[DEFENDER | k])) kind = k;
    }
    if (kind < KING && contains(line, "王")) kind = KING;
    if (contains(line, "竜")) kind = DRAGON;
    if (contains(line, "成香")) {
        kind = 10;
    } else if (contains(line, "成桂")) {
        kind = 11;
    } else if (contains(line, "成銀")) {
        kind = 12;
    }
    const int piece = side + kind;

    int from = 0;
    size_t paren = line.find('(');
    if (paren != std::string_view::npos && paren + 3 < line.size() && line[paren + 3] == ')') {
        int m = int(leadingDecimal(line.substr(paren + 1, 2)));
        from = (m / 10) * 16 + m % 10;
    }
    const uint8_t promote = contains(line, "成(") ? 1 : 0;

    // A line that names no piece has kind 0; for the defender its bare owner
    // code 0x20 would pass the range test, so the kind is tested too.
    if ((from != 0 && !isBoardSquare(from)) || !isBoardSquare(to) || piece < 0x11 || piece > 0x2f || kind == 0)
        return false;
    searchContext.composerLine.push_back(Move{uint8_t(from), uint8_t(to), uint8_t(piece), promote});
    return true;
}

void applyDefaultClass() {
    if (!problem.className.empty()) return;
    problem.className = "最善詰";
    ruleSwitches.RuleFlags = ORTHODOX_RULES;
    ruleSwitches.handSaving = 1;
}

int firstMover() {
    const bool odd = problem.moveCount & 1;
    if ((ruleSwitches.RuleFlags & 0x700) == GOAL_REPETITION) return problem.defenderFirst ? DEFENDER : ATTACKER;
    if (ruleSwitches.RuleFlags & TARGET_OWN_KING) return odd ? DEFENDER : ATTACKER;
    return odd ? ATTACKER : DEFENDER;
}

bool readProblemFile(std::istream& in, ProblemSetup& setup, std::string& refusal) {
    std::string text;
    if (!readWholeText(in, text, refusal)) return false;
    takeUtf8AsCp932(text);
    LineCursor lines{text};
    std::string_view line;
    while (lines.next(line))
        if (!readHeaderLine(line, lines, setup, refusal)) return false;
    applyDefaultClass();
    return takeMoveCountFromMoveList(refusal);
}
