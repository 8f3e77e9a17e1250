#include <gtest/gtest.h>

#include "position/rules.h"
#include "position/sfen.h"
#include "position/validate.h"

namespace {

struct Rules {
    uint32_t flags;
    uint8_t checkRequired;
};

// Validates the SFEN position under the rules; returns the console text,
// prefixed "ok:" when the position passed.
std::string validate(const char* sfen, Rules rules) {
    const uint32_t savedFlags = ruleSwitches.RuleFlags;
    const uint8_t savedCheck = ruleSwitches.checkRequired;
    ruleSwitches.RuleFlags = rules.flags;
    ruleSwitches.checkRequired = rules.checkRequired;
    static Position pos;
    std::string error;
    EXPECT_TRUE(setUpFromSfen(pos, sfen, error)) << error;
    testing::internal::CaptureStdout();
    const bool ok = validateInitialPosition(pos);
    std::string out = testing::internal::GetCapturedStdout();
    ruleSwitches.RuleFlags = savedFlags;
    ruleSwitches.checkRequired = savedCheck;
    return ok ? "ok:" + out : out;
}

const Rules ORTHODOX{0x112, 1};
const std::string NO_DEFENDER_KING = "受方玉がありません\n図が正しいかどうかチェックしてください\n";
const std::string NO_OWN_KING = "自玉詰にもかかわらず自玉がありません\n図や手番が正しいかどうかチェックしてください\n";
const std::string ALREADY_CHECK = "初形で既に王手が掛かっています\n図や手番が正しいかどうかチェックしてください\n";
const std::string TWO_PAWNS = "初形に二歩があります\n";
const std::string NOWHERE_TO_GO = "初形に行きどころのない駒があります\n";

}  // namespace

TEST(Validation, DefenderKingRequiredUnlessMatingWithoutObligatoryChecks) {
    const char* kingless = "9/9/9/9/9/9/9/9/4K4 b G 1";
    EXPECT_EQ(NO_DEFENDER_KING, validate(kingless, ORTHODOX));
    EXPECT_EQ("ok:", validate(kingless, {0x112, 0}));
    EXPECT_EQ("ok:", validate(kingless, {0x412, 0}));  // repetition goal
    EXPECT_EQ(NO_DEFENDER_KING, validate(kingless, {0x212, 1}));
    EXPECT_EQ(NO_DEFENDER_KING, validate(kingless, {0x212, 0}));
    // Aimed at the own king only, the defender may do without one.
    EXPECT_EQ("ok:", validate(kingless, {0x122, 1}));
}

TEST(Validation, OwnKingMateNeedsTheAttackersKing) {
    EXPECT_EQ(NO_OWN_KING, validate("4k4/9/9/9/9/9/9/9/9 b G 1", {0x122, 1}));
    EXPECT_EQ("ok:", validate("4k4/9/9/9/9/9/9/9/9 b G 1", {0x222, 1}));  // stalemate goal
    // Check 1 comes first when both kings are missing.
    EXPECT_EQ(NO_DEFENDER_KING, validate("9/9/9/9/9/9/9/9/9 b G 1", {0x132, 1}));
}

TEST(Validation, SideNotToMoveMustNotBeInCheck) {
    // The attacker's gold on 5二 attacks the defender's king on 5一.
    EXPECT_EQ(ALREADY_CHECK, validate("4k4/4G4/9/9/9/9/9/9/4K4 b - 1", ORTHODOX));
    EXPECT_EQ("ok:", validate("4k4/4G4/9/9/9/9/9/9/4K4 w - 1", ORTHODOX));
    // The defender's rook on 5八 attacks the attacker's king on 5九.
    EXPECT_EQ(ALREADY_CHECK, validate("4k4/9/9/9/9/9/9/4r4/4K4 w - 1", ORTHODOX));
    EXPECT_EQ("ok:", validate("4k4/9/9/9/9/9/9/4r4/4K4 b - 1", ORTHODOX));
}

TEST(Validation, BoardChecksInOrder) {
    EXPECT_EQ(TWO_PAWNS, validate("4k4/9/4P4/9/4P4/9/9/9/9 b - 1", ORTHODOX));
    EXPECT_EQ(TWO_PAWNS, validate("4k4/p8/9/p8/9/9/9/9/9 b - 1", ORTHODOX));
    EXPECT_EQ("ok:", validate("4k4/9/4+P4/9/4+P4/9/4P4/9/9 b - 1", ORTHODOX));
    EXPECT_EQ("ok:", validate("4k4/9/4p4/9/4P4/9/9/9/9 b - 1", ORTHODOX));  // one of each side

    EXPECT_EQ(NOWHERE_TO_GO, validate("4k4/9/9/9/9/9/9/n8/9 b - 1", ORTHODOX));  // defender's knight, rank 8
    EXPECT_EQ("ok:", validate("4k4/9/9/9/9/9/9/N8/9 b - 1", ORTHODOX));          // attacker's knight, rank 8
    EXPECT_EQ(NOWHERE_TO_GO, validate("4k4/N8/9/9/9/9/9/9/9 b - 1", ORTHODOX));  // attacker's knight, rank 2
    EXPECT_EQ(NOWHERE_TO_GO, validate("4kL3/9/9/9/9/9/9/9/9 b - 1", ORTHODOX));
    EXPECT_EQ(NOWHERE_TO_GO, validate("4k4/9/9/9/9/9/9/9/8p b - 1", ORTHODOX));
    // Two pawns are reported before a piece with nowhere to go.
    EXPECT_EQ(TWO_PAWNS, validate("4k3P/8P/9/9/9/9/9/9/9 b - 1", ORTHODOX));
}

TEST(Validation, MoreThanOneKingOfASideIsRefusedWithItsSquares) {
    const std::string check = "図が正しいかどうかチェックしてください\n";
    EXPECT_EQ("受方玉が複数あります：５一、５九\n" + check, validate("4k4/9/9/9/9/9/9/9/4k4 b G 1", ORTHODOX));
    // Told before the other side's missing king.
    EXPECT_EQ("攻方玉が複数あります：９一、１九\n" + check, validate("K8/9/9/9/9/9/9/9/8K b G 1", ORTHODOX));
    EXPECT_EQ("ok:", validate("4k4/9/9/9/9/9/9/9/4K4 b G 1", ORTHODOX));
}

TEST(Validation, KnightOnTheCornerLeavesTheFrameIntact) {
    // An attacker's knight on 1一 jumps off the board on both sides; the
    // frame around the board must stay walls.
    static Position pos;
    std::string error;
    ASSERT_TRUE(setUpFromSfen(pos, "4k3N/9/9/9/9/9/9/9/9 b - 1", error));
    for (int cell = 0; cell < BOARD_CELLS; ++cell) {
        if (isBoardSquare(cell - 16)) continue;
        EXPECT_EQ(WALL, pos.board[cell]) << cell;
    }
    EXPECT_EQ(NOWHERE_TO_GO, validate("4k3N/9/9/9/9/9/9/9/9 b - 1", ORTHODOX));
}
