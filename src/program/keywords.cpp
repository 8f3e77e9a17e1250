#include "program/keywords.h"

#include <cstdint>
#include <limits>
#include <string>

#include "base/byte_text.h"
#include "driver/problem_header.h"
#include "search/search_context.h"

namespace {

struct SideWord {
    std::string_view word;
    uint8_t sides;
    std::string_view ruleName;
};

struct RestrictionGroup {
    std::string_view baseWord;
    int32_t kind;
    uint8_t sides;  // 0: the sides are left as they are
    SideWord sideWords[2];
};

// Tested in this order; a later group overrides an earlier one. The long-range
// side words are written with "躯", not the "駆" of the base word, so only a
// text with both "長駆" and "攻方長躯" binds the attacker alone.
constexpr RestrictionGroup RESTRICTION_GROUPS[] = {
    {"禁欲", RESTRICTION_ABSTINENT, 0x30, {{"攻方禁欲", 0x10, "攻方禁欲"}, {"受方禁欲", 0x20, "受方禁欲"}}},
    {"強欲", RESTRICTION_GREEDY, 0x30, {{"攻方強欲", 0x10, "攻方強欲"}, {"受方強欲", 0x20, "受方強欲"}}},
    {"マキシ", RESTRICTION_MAXIMUMMER, 0, {{"攻方マキシ", 0x10, "攻方マキシ"}, {"双方マキシ", 0x30, "双方マキシ"}}},
    {"ミニ", RESTRICTION_MINIMUMMER, 0, {{"攻方ミニ", 0x10, "攻方ミニ"}, {"双方ミニ", 0x30, "双方ミニ"}}},
    {"長駆", RESTRICTION_LONG_RANGE, 0, {{"攻方長躯", 0x10, "攻方長躯"}, {"双方", 0x30, "双方長躯"}}},
};

constexpr std::string_view NON_CHECK_WORD = "非王手可";

void applyRestrictionGroups(std::string_view text) {
    for (const RestrictionGroup& group : RESTRICTION_GROUPS) {
        if (!contains(text, group.baseWord)) continue;
        ruleSwitches.restrictionKind = group.kind;
        problem.ruleName = group.baseWord;
        if (group.sides != 0) ruleSwitches.restrictionSides = group.sides;
        for (const SideWord& side : group.sideWords) {
            if (!contains(text, side.word)) continue;
            ruleSwitches.restrictionSides = side.sides;
            problem.ruleName = side.ruleName;
        }
        if (group.kind == RESTRICTION_ABSTINENT) ruleSwitches.handSaving = 0;
    }
}

uint32_t goalOf(std::string_view text) {
    uint32_t goal = GOAL_MATE;
    if (contains(text, "勝")) {
        goal = GOAL_WIN;
        ruleSwitches.checkRequired = 0;
    }
    if (contains(text, "ステイルメイト")) goal = GOAL_STALEMATE;
    if (contains(text, "千日手")) {
        goal = GOAL_REPETITION;
        if (contains(text, "受先")) problem.defenderFirst = 1;
    }
    // Also inside "詰将棋", "最悪詰" ...: a mate goal wins over every other.
    if (contains(text, "詰")) goal = GOAL_MATE;
    return goal;
}

// Sets the canonical class name of RuleFlags; an unsupported combination
// (win or repetition with the own-king target) becomes the orthodox class.
void settleClass() {
    switch (ruleSwitches.RuleFlags) {
    case 0x111: problem.className = "最悪詰"; break;
    case 0x112: problem.className = "最善詰"; ruleSwitches.handSaving = 1; break;
    case 0x121: problem.className = "最悪自玉詰"; break;
    case 0x122: problem.className = "最善自玉詰"; break;
    case 0x211:
    case 0x212:
        problem.className = ruleSwitches.RuleFlags == 0x211 ? "最悪ステイルメイト" : "最善ステイルメイト";
        // A stalemate cannot be reached by checks alone.
        if (ruleSwitches.checkRequired == 1) {
            ruleSwitches.checkRequired = 0;
            problem.ruleName += NON_CHECK_WORD;
        }
        break;
    case 0x221: problem.className = "最悪自玉ステイルメイト"; break;
    case 0x222: problem.className = "最善自玉ステイルメイト"; break;
    case 0x311: problem.className = "最悪勝"; break;
    case 0x312: problem.className = "最善勝"; ruleSwitches.handSaving = 1; break;
    case 0x411: problem.className = problem.defenderFirst ? "受先最悪千日手" : "最悪千日手"; break;
    case 0x412: problem.className = problem.defenderFirst ? "受先最善千日手" : "最善千日手"; break;
    default:
        ruleSwitches.RuleFlags = ORTHODOX_RULES;
        problem.className = "最善詰";
        ruleSwitches.handSaving = 1;
        break;
    }
}

int16_t clampTo16(int64_t value) {
    if (value > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
    if (value < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
    return int16_t(value);
}

// The depth written after a trace or monitor keyword; 2 when none is given.
int16_t monitorDepthAfter(std::string_view rest) {
    int16_t depth = clampTo16(leadingDecimal(rest));
    return depth == 0 ? 2 : depth;
}

void interpretCookCheck(std::string_view line) {
    auto rest = restAfter(line, "余詰検討");
    if (!rest || !(ruleSwitches.RuleFlags & PLAY_BEST)) return;
    problem.cookCheck = 1;
    int32_t depth = clampTo16(leadingDecimal(*rest));
    if (depth == 0) depth = 2999;
    if (depth < problem.moveCount) depth = problem.moveCount;
    // The cook search depth keeps the parity of the problem's move count.
    if ((depth - problem.moveCount) & 1) depth -= 1;
    problem.cookDepth = clampTo16(depth);
}

// "メモリ", "memory" or "MEMORY", the size, then "GB"/"gb" or "MB"/"mb". A
// size that is not a decimal integer, or that does not fit the signed
// 32-bit megabyte count, is recorded as invalid; the entry sequence refuses
// it before the table is sized.
void interpretMemory(std::string_view line) {
    size_t keyword = std::string_view::npos;
    for (std::string_view word : {"メモリ", "memory", "MEMORY"}) {
        keyword = line.find(word);
        if (keyword != std::string_view::npos) break;
    }
    if (keyword == std::string_view::npos) return;
    const size_t numberStart = keyword + 6;  // each keyword is six bytes
    // The unit is looked for after the keyword only: one written earlier in
    // the line cannot belong to this size.
    int64_t unitMB = 1024;
    size_t unit = line.find("GB", numberStart);
    if (unit == std::string_view::npos) unit = line.find("gb", numberStart);
    if (unit == std::string_view::npos) {
        unitMB = 1;
        unit = line.find("MB", numberStart);
        if (unit == std::string_view::npos) unit = line.find("mb", numberStart);
    }
    if (unit == std::string_view::npos) return;
    std::optional<int64_t> size = wholeDecimal(line.substr(numberStart, unit - numberStart));
    constexpr int64_t lowest = std::numeric_limits<int32_t>::min(), highest = std::numeric_limits<int32_t>::max();
    if (!size || *size < lowest / unitMB || *size > highest / unitMB) {
        problem.memorySizeInvalid = 1;
        problem.memorySizeText = line.substr(keyword, unit + 2 - keyword);
        return;
    }
    problem.memoryMB = int32_t(*size * unitMB);
}

}  // namespace

void interpretClass(std::string_view text) {
    applyRestrictionGroups(text);
    if (contains(text, "非連続王手") || contains(text, NON_CHECK_WORD)) {
        ruleSwitches.checkRequired = 0;
        problem.ruleName += NON_CHECK_WORD;
    }
    if (contains(text, "打歩")) ruleSwitches.dropPawnMateAllowed = 1;
    const uint32_t quality = contains(text, "最悪") ? PLAY_WORST : PLAY_BEST;
    const uint32_t goal = goalOf(text);
    const uint32_t target = contains(text, "自殺") || contains(text, "自玉") ? TARGET_OWN_KING : TARGET_DEFENDER_KING;
    ruleSwitches.RuleFlags = goal + target + quality;
    settleClass();
}

void interpretOptions(std::string_view line) {
    if (contains(line, "解図のみ")) problem.checkLevel = 1;
    if (contains(line, "略式検討")) problem.checkLevel = 2;
    interpretCookCheck(line);
    if (contains(line, "持駒節約") && (ruleSwitches.RuleFlags & PLAY_BEST) &&
        (ruleSwitches.restrictionKind == RESTRICTION_NONE || ruleSwitches.restrictionKind == RESTRICTION_GREEDY))
        ruleSwitches.handSaving = 1;
    if (contains(line, "対称性検出")) ruleSwitches.symmetryDetection = 1;
    if (auto rest = restAfter(line, "トレース")) {
        problem.traceOn = 1;
        problem.monitorOn = 1;
        problem.monitorDepth = monitorDepthAfter(*rest);
    }
    // The first "モニタ" may be the one inside "詳細モニタ" or "ハッシュモニタ".
    if (auto rest = restAfter(line, "モニタ")) {
        if (contains(line, "詳細モニタ")) problem.detailedMonitor = 1;
        problem.monitorOn = 1;
        problem.monitorDepth = monitorDepthAfter(*rest);
    }
    interpretMemory(line);
    if (contains(line, "ハッシュモニタ")) problem.hashMonitor = 1;
    if (contains(line, "不詰出力")) problem.noMateOutput = 1;
    if (contains(line, "作意強制")) searchContext.forceComposerLine = 1;
}
