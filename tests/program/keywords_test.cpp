// Class and remark keywords.
#include <gtest/gtest.h>

#include "driver/problem_header.h"
#include "program/keywords.h"
#include "search/search_context.h"

namespace {

void classText(const char* text) {
    resetProblemHeader(problem);
    interpretClass(text);
}

struct ClassCase {
    const char* text;
    uint32_t ruleFlags;
    const char* className;
};

TEST(ClassKeywords, RuleFlagsAndCanonicalNames) {
    const ClassCase cases[] = {
        {"最悪詰", 0x111, "最悪詰"},
        {"詰将棋", 0x112, "最善詰"},
        {"かしこ", 0x112, "最善詰"},
        {"自殺", 0x122, "最善自玉詰"},
        {"最悪自玉詰", 0x121, "最悪自玉詰"},
        {"最悪ステイルメイト", 0x211, "最悪ステイルメイト"},
        {"自玉ステイルメイト", 0x222, "最善自玉ステイルメイト"},
        {"勝ち", 0x312, "最善勝"},
        {"最悪勝", 0x311, "最悪勝"},
        {"千日手", 0x412, "最善千日手"},
        {"最悪千日手", 0x411, "最悪千日手"},
        {"千日手詰", 0x112, "最善詰"},          // "詰" wins over every other goal
        {"千日手ステイルメイト", 0x412, "最善千日手"},
        {"自玉千日手", 0x112, "最善詰"},        // unsupported: the orthodox class
        {"自玉勝", 0x112, "最善詰"},
    };
    for (const ClassCase& c : cases) {
        classText(c.text);
        EXPECT_EQ(ruleSwitches.RuleFlags, c.ruleFlags) << c.text;
        EXPECT_EQ(problem.className, c.className) << c.text;
    }
}

TEST(ClassKeywords, ConditionsThatComeWithAClass) {
    classText("最善詰");
    EXPECT_EQ(ruleSwitches.handSaving, 1);
    classText("勝");
    EXPECT_EQ(ruleSwitches.checkRequired, 0);
    EXPECT_EQ(ruleSwitches.handSaving, 1);

    classText("受先千日手");
    EXPECT_EQ(ruleSwitches.RuleFlags, 0x412u);
    EXPECT_EQ(problem.defenderFirst, 1);
    EXPECT_EQ(problem.className, "受先最善千日手");
    classText("受先最悪詰");
    EXPECT_EQ(problem.defenderFirst, 0);

    classText("最善ステイルメイト");
    EXPECT_EQ(ruleSwitches.checkRequired, 0);
    EXPECT_EQ(problem.ruleName, "非王手可");
    classText("非王手可最善ステイルメイト");
    EXPECT_EQ(problem.ruleName, "非王手可");  // once
    classText("非連続王手詰");
    EXPECT_EQ(ruleSwitches.checkRequired, 0);
    EXPECT_EQ(problem.ruleName, "非王手可");

    classText("打歩詰");
    EXPECT_EQ(ruleSwitches.dropPawnMateAllowed, 1);
    EXPECT_EQ(problem.ruleName, "");  // the entry sequence puts 打歩 in front
}

struct RestrictionCase {
    const char* text;
    int32_t kind;
    uint8_t sides;
    const char* ruleName;
};

TEST(ClassKeywords, RestrictionGroups) {
    const RestrictionCase cases[] = {
        {"禁欲詰", RESTRICTION_ABSTINENT, 0x30, "禁欲"},
        {"攻方禁欲最悪詰", RESTRICTION_ABSTINENT, 0x10, "攻方禁欲"},
        {"受方禁欲", RESTRICTION_ABSTINENT, 0x20, "受方禁欲"},
        {"強欲", RESTRICTION_GREEDY, 0x30, "強欲"},
        {"攻方強欲", RESTRICTION_GREEDY, 0x10, "攻方強欲"},
        {"受方マキシ最善詰", RESTRICTION_MAXIMUMMER, 0x20, "マキシ"},
        {"攻方マキシ", RESTRICTION_MAXIMUMMER, 0x10, "攻方マキシ"},
        {"双方ミニ", RESTRICTION_MINIMUMMER, 0x30, "双方ミニ"},
        {"攻方長駆", RESTRICTION_LONG_RANGE, 0x20, "長駆"},       // side word written with 躯
        {"攻方長躯", RESTRICTION_NONE, 0x20, ""},                 // no base word: nothing
        {"長駆 攻方長躯", RESTRICTION_LONG_RANGE, 0x10, "攻方長躯"},
        {"双方長駆", RESTRICTION_LONG_RANGE, 0x30, "双方長躯"},
    };
    for (const RestrictionCase& c : cases) {
        classText(c.text);
        EXPECT_EQ(ruleSwitches.restrictionKind, c.kind) << c.text;
        EXPECT_EQ(ruleSwitches.restrictionSides, c.sides) << c.text;
        EXPECT_EQ(problem.ruleName, c.ruleName) << c.text;
    }
    classText("禁欲最悪詰");
    EXPECT_EQ(ruleSwitches.handSaving, 0);
    classText("禁欲最善詰");
    EXPECT_EQ(ruleSwitches.handSaving, 1);  // the orthodox class sets it again
}

void remarks(const char* line, int16_t moveCount = 15, uint32_t ruleFlags = 0x112) {
    resetProblemHeader(problem);
    problem.moveCount = moveCount;
    ruleSwitches.RuleFlags = ruleFlags;
    interpretOptions(line);
}

TEST(RemarkKeywords, CheckLevelAndCookDepth) {
    remarks("備考：解図のみ");
    EXPECT_EQ(problem.checkLevel, 1);
    remarks("備考：略式検討 解図のみ");
    EXPECT_EQ(problem.checkLevel, 2);

    remarks("備考：余詰検討");
    EXPECT_EQ(problem.cookCheck, 1);
    EXPECT_EQ(problem.cookDepth, 2999);
    remarks("備考：余詰検討20");
    EXPECT_EQ(problem.cookDepth, 19);
    remarks("備考：余詰検討 9");
    EXPECT_EQ(problem.cookDepth, 15);
    remarks("備考：余詰検討", 16);
    EXPECT_EQ(problem.cookDepth, 2998);
    remarks("備考：余詰検討99999");  // beyond 16 bits: held at the largest depth
    EXPECT_EQ(problem.cookDepth, 32767);
    remarks("備考：余詰検討", 15, 0x111);  // worst play: ignored
    EXPECT_EQ(problem.cookCheck, 0);
    EXPECT_EQ(problem.cookDepth, 0);
}

TEST(RemarkKeywords, HandSavingOnlyWhereItApplies) {
    remarks("備考：持駒節約");
    EXPECT_EQ(ruleSwitches.handSaving, 1);
    remarks("備考：持駒節約", 15, 0x111);
    EXPECT_EQ(ruleSwitches.handSaving, 0);
    resetProblemHeader(problem);
    ruleSwitches.restrictionKind = RESTRICTION_ABSTINENT;
    interpretOptions("持駒節約");
    EXPECT_EQ(ruleSwitches.handSaving, 0);
    ruleSwitches.restrictionKind = RESTRICTION_GREEDY;
    interpretOptions("持駒節約");
    EXPECT_EQ(ruleSwitches.handSaving, 1);
}

TEST(RemarkKeywords, TraceAndMonitors) {
    remarks("備考：トレース");
    EXPECT_EQ(problem.traceOn, 1);
    EXPECT_EQ(problem.monitorOn, 1);
    EXPECT_EQ(problem.monitorDepth, 2);
    remarks("備考：トレース5");
    EXPECT_EQ(problem.monitorDepth, 5);
    remarks("備考：トレース5 モニタ3");  // the monitor's depth replaces the trace's
    EXPECT_EQ(problem.monitorDepth, 3);
    remarks("備考：詳細モニタ4");
    EXPECT_EQ(problem.detailedMonitor, 1);
    EXPECT_EQ(problem.monitorDepth, 4);
    EXPECT_EQ(problem.traceOn, 0);
    remarks("備考：ハッシュモニタ");
    EXPECT_EQ(problem.hashMonitor, 1);
    EXPECT_EQ(problem.monitorOn, 1);
    EXPECT_EQ(problem.monitorDepth, 2);
    EXPECT_EQ(problem.detailedMonitor, 0);
    remarks("備考：対称性検出 不詰出力 作意強制");
    EXPECT_EQ(ruleSwitches.symmetryDetection, 1);
    EXPECT_EQ(problem.noMateOutput, 1);
    EXPECT_EQ(searchContext.forceComposerLine, 1);
    EXPECT_EQ(problem.monitorOn, 0);
}

TEST(RemarkKeywords, MemorySizes) {
    remarks("備考：メモリ2GB");
    EXPECT_EQ(problem.memoryMB, 2048);
    remarks("備考：メモリ 500MB");
    EXPECT_EQ(problem.memoryMB, 500);
    remarks("備考：memory 64 mb");
    EXPECT_EQ(problem.memoryMB, 64);
    remarks("備考：MEMORY1gb");
    EXPECT_EQ(problem.memoryMB, 1024);
    remarks("備考：メモリ500");  // no unit: ignored
    EXPECT_EQ(problem.memoryMB, 0);
    EXPECT_EQ(problem.memorySizeInvalid, 0);
    remarks("備考：MB単位で メモリ 100MB");  // a unit before the keyword is not its unit
    EXPECT_EQ(problem.memoryMB, 100);
    EXPECT_EQ(problem.memorySizeInvalid, 0);
    remarks("備考：メモリ 2147483647MB");
    EXPECT_EQ(problem.memoryMB, 2147483647);
}

TEST(RemarkKeywords, MemorySizesThatCannotBeUsed) {
    for (const char* line : {"備考：メモリ：500MB", "備考：メモリ 3000000000MB", "備考：メモリ2097152GB",
                             "備考：メモリMB", "備考：メモリ 5 0 MB", "備考：メモリ99999999999999999999MB"}) {
        remarks(line);
        EXPECT_EQ(problem.memorySizeInvalid, 1) << line;
        EXPECT_EQ(problem.memoryMB, 0) << line;
    }
    remarks("備考：解図のみ メモリ：500MB 対称性検出");
    EXPECT_EQ(problem.memorySizeText, "メモリ：500MB");
}

}  // namespace
