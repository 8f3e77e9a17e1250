// Node expansion under the rule variants: which children a node gets, in
// which order, and which terminal code it returns without any.
#include "test_support.h"

#include <algorithm>
#include <random>
#include <vector>

#include "position/attacks.h"
#include "position/expand.h"
#include "position/moves.h"

namespace {

// Keeps what expansion reports: the children decided on the spot.
struct DecidedChildren final : ExpansionListener {
    std::vector<Position> decided;
    void childMade(const Position&) override {}
    void childDecided(const Position& child) override { decided.push_back(child); }
};

// Every test starts from the orthodox defaults.
class Expansion : public ::testing::Test {
protected:
    void SetUp() override { ruleSwitches = RuleSwitches{}; }
    void TearDown() override { ruleSwitches = RuleSwitches{}; }

    // Expands pos and returns the children's moves as text; the result
    // code goes to result.
    std::string children(Position& pos, int* result = nullptr) {
        list.clear();
        listener.decided.clear();
        ExpansionOptions options;
        options.keepMirrorMoves = keepMirrorMoves;
        options.listener = &listener;
        const int r = expandNode(pos, &list, options);
        if (result) *result = r;
        if (r > 0) {
            EXPECT_EQ(size_t(r), list.size());
            EXPECT_EQ(&list, pos.children);
        }
        std::vector<Move> moves;
        for (const Position& c : list) moves.push_back(c.lastMove);
        return movesText(moves.data(), int(moves.size()));
    }

    ChildList list;
    DecidedChildren listener;
    bool keepMirrorMoves = false;
};

std::string legalText(const Position& pos) { return bufferText(generateLegalMoves(pos)); }

}  // namespace

TEST_F(Expansion, CheckTestDropsACandidateWhoseLineIsBlocked) {
    // King on 5一 behind its own gold on 4一; the attacker holds a rook.
    // R*21 lies on the king's rank but the gold blocks it.
    Position& pos = positionFrom("4kg3/9/9/9/9/9/9/9/9 b R 1");
    const int n = generateCheckCandidates(pos);
    ASSERT_GT(n, 0);
    const std::string candidates = bufferText(n);
    EXPECT_NE(std::string::npos, candidates.find("R*21")) << candidates;
    const std::string kids = children(pos);
    EXPECT_EQ(std::string::npos, kids.find("R*21")) << kids;
    // Every child really checks, and each keeps its candidate's place.
    for (const Position& c : list) EXPECT_TRUE(isInCheck(c, DEFENDER)) << moveText(c.lastMove);
    EXPECT_EQ("R*52 R*53 R*54 R*55 R*56 R*57 R*58 R*59 R*61 R*71 R*81 R*91", kids);
}

TEST_F(Expansion, DiscoveredChecksOpenOnlyWhenTheLineClears) {
    // Rook on 9三, gold on 9五, king on 9七. Stepping aside or back uncovers
    // the rook (the step back also checks by itself); stepping forward onto
    // 9四 keeps the file closed.
    Position& pos = positionFrom("9/9/R8/9/G8/9/k8/9/9 b - 1");
    const std::string kids = children(pos);
    EXPECT_EQ(std::string::npos, kids.find("95-94")) << kids;
    EXPECT_NE(std::string::npos, kids.find("95-84")) << kids;
    EXPECT_NE(std::string::npos, kids.find("95-85")) << kids;
    EXPECT_NE(std::string::npos, kids.find("95-96")) << kids;
    // The rook itself cannot reach the king past the gold.
    EXPECT_EQ(std::string::npos, kids.find("93-94")) << kids;
}

TEST_F(Expansion, WithoutObligatoryChecksEveryLegalMoveIsAChild) {
    Position& pos = positionFrom("4k4/9/4P4/9/9/9/9/9/4K4 b G 1");
    ruleSwitches.checkRequired = 0;
    EXPECT_EQ(legalText(pos), children(pos));
    ruleSwitches.checkRequired = 1;
    EXPECT_EQ("53-52+ 53-52 G*41 G*42 G*52 G*61 G*62", children(pos));
}

TEST_F(Expansion, TerminalCodesOfBothSides) {
    int r = 99;
    // Defender mated.
    EXPECT_EQ("", children(positionFrom("4k4/4G4/4P4/9/9/9/9/9/9 w - 1"), &r));
    EXPECT_EQ(DEFENDER_MATED, r);
    // Candidates of which none checks give 0 too when checks are required:
    // the king on 5一 is walled in by its golds and the pawn on 5二.
    EXPECT_EQ("", children(positionFrom("3gkg3/4p4/9/9/9/9/9/9/9 b R 1"), &r));
    EXPECT_EQ(DEFENDER_MATED, r);
    // No candidate at all and not in check.
    children(positionFrom("4k4/9/9/9/9/9/9/9/P8 b - 1"), &r);
    EXPECT_EQ(ATTACKER_NO_MOVE, r);
    // Defender without a king: no move and not in check.
    children(positionFrom("9/9/9/9/9/9/9/9/4K4 w - 1"), &r);
    EXPECT_EQ(DEFENDER_NO_MOVE, r);
    // The attacker mated (own-king problem) and the attacker stalemated.
    ruleSwitches.RuleFlags = PLAY_BEST | TARGET_OWN_KING | GOAL_MATE;
    children(positionFrom("4k4/9/9/9/9/9/4p4/4g4/4K4 b - 1", 1), &r);
    EXPECT_EQ(ATTACKER_MATED, r);
    ruleSwitches.RuleFlags = ORTHODOX_RULES;
    children(positionFrom("4k4/9/9/9/9/9/9/9/9 b - 1", 1), &r);
    EXPECT_EQ(ATTACKER_NO_MOVE, r);
    // Without a list only the count comes back and nothing is linked.
    Position& counted = positionFrom("4k4/9/4P4/9/9/9/9/9/4K4 b G 1", 2);
    counted.children = nullptr;
    EXPECT_EQ(7, expandNode(counted, nullptr));
    EXPECT_EQ(nullptr, counted.children);
}

TEST_F(Expansion, OwnKingInCheckKeepsOnlyEvasionsThatCheck) {
    // Self-mate: the attacker's king on 5九 is checked by the knight on 4七.
    // Of its replies only the captures by the gold (4八) and the silver (3八)
    // check the defender's king on 4六; the king moves do not.
    ruleSwitches.RuleFlags = PLAY_BEST | TARGET_OWN_KING | GOAL_MATE;
    Position& pos = positionFrom("9/9/9/9/9/5k3/5n3/5GS2/4K4 b - 1");
    ASSERT_TRUE(isInCheck(pos, ATTACKER));
    const std::string kids = children(pos);
    for (const Position& c : list) EXPECT_TRUE(isInCheck(c, DEFENDER)) << moveText(c.lastMove);
    // Every legal reply that checks appears, in generation order.
    std::string expected;
    const int n = generateLegalMoves(pos);
    std::vector<Move> legal(moveBuffer(), moveBuffer() + n);
    for (Move m : legal) {
        Position scratch = pos;
        makeMove(scratch, m);
        if (isInCheck(scratch, DEFENDER)) expected += moveText(m) + " ";
    }
    if (!expected.empty()) expected.pop_back();
    EXPECT_EQ(expected, kids);
    EXPECT_EQ(2u, list.size()) << kids;
    EXPECT_LT(list.size(), legal.size());
}

TEST_F(Expansion, GreedyDefenderTakesWhenItCan) {
    ruleSwitches.restrictionKind = RESTRICTION_GREEDY;
    ruleSwitches.restrictionSides = DEFENDER;
    // The rook on 9九 can take the pawn on 9五, and that (promoting or not)
    // is all it may do.
    Position& takes = positionFrom("4k4/9/9/9/P8/9/9/9/r8 w - 1");
    EXPECT_EQ("99-95+ 99-95", children(takes));
    // Nothing to take: every move stays.
    Position& none = positionFrom("4k4/9/9/9/9/9/9/9/r8 w - 1", 1);
    EXPECT_EQ(legalText(none), children(none));
}

TEST_F(Expansion, LengthConditions) {
    ruleSwitches.checkRequired = 0;
    ruleSwitches.restrictionSides = ATTACKER;
    // Rook on 1九 (8 squares to 1一: v 64), bishop on 6九 (5 diagonal squares
    // to 1四: v 50), knight on 2九, a gold in hand.
    Position& pos = positionFrom("k8/9/9/9/9/9/9/9/3B3NR b G 1");
    ruleSwitches.restrictionKind = RESTRICTION_MAXIMUMMER;
    EXPECT_EQ("19-11+ 19-11", children(pos));
    // Minimummer: one-square orthogonal steps tie with every drop (v 1);
    // the knight (v 5) and the diagonal steps (v 2) are out.
    ruleSwitches.restrictionKind = RESTRICTION_MINIMUMMER;
    children(pos);
    for (const Position& c : list) {
        const Move m = c.lastMove;
        const int df = fileOf(m.to) - fileOf(m.from), dr = rankOf(m.to) - rankOf(m.from);
        EXPECT_TRUE(isDrop(m) || df * df + dr * dr == 1) << moveText(m);
    }
    const std::string least = children(pos);
    EXPECT_NE(std::string::npos, least.find("19-18")) << least;
    EXPECT_NE(std::string::npos, least.find("G*11")) << least;
    // Long-range: the bishop's five squares (6八 to 1三) beat the rook's
    // four when a pawn on 1四 holds the rook to four.
    Position& blocked = positionFrom("k8/9/9/8P/9/9/9/3B5/7NR b - 1", 1);
    ruleSwitches.restrictionKind = RESTRICTION_LONG_RANGE;
    EXPECT_EQ("68-13+ 68-13", children(blocked));
    // A knight jump counts as a v of 5 and two squares crossed.
    Position& knight = positionFrom("k8/9/9/9/9/9/9/9/7N1 b - 1", 2);
    ruleSwitches.restrictionKind = RESTRICTION_MAXIMUMMER;
    EXPECT_EQ("29-37 29-17", children(knight));
}

TEST_F(Expansion, AbstinentAttackerAvoidsCapturesWhileItCan) {
    ruleSwitches.restrictionKind = RESTRICTION_ABSTINENT;
    ruleSwitches.restrictionSides = ATTACKER;
    // The gold on 5三 can mate by taking on 5二 or check from 4二/6二.
    Position& pos = positionFrom("4k4/4p4/4G4/9/9/9/9/9/9 b - 1");
    EXPECT_EQ("53-42 53-62", children(pos));
    // Only a capture checks: the condition binds nothing.
    Position& only = positionFrom("4k4/4p4/4P4/9/9/9/9/9/9 b - 1", 1);
    EXPECT_EQ("53-52+ 53-52", children(only));
}

TEST_F(Expansion, ARestrictionOfOneSideLeavesTheOtherAlone) {
    ruleSwitches.restrictionKind = RESTRICTION_MAXIMUMMER;
    ruleSwitches.restrictionSides = ATTACKER;
    Position& defender = positionFrom("4k4/9/4G4/9/9/9/9/9/r8 w - 1");
    ruleSwitches.restrictionKind = RESTRICTION_NONE;
    const std::string free = children(defender);
    ruleSwitches.restrictionKind = RESTRICTION_MAXIMUMMER;
    EXPECT_EQ(free, children(defender));
    ruleSwitches.restrictionSides = DEFENDER;
    EXPECT_NE(free, children(defender));
    ruleSwitches.restrictionSides = ATTACKER | DEFENDER;
    EXPECT_NE(free, children(defender));
}

TEST_F(Expansion, MirrorPruningOnlyWithTheKingOnTheMiddleFile) {
    ruleSwitches.symmetryDetection = 1;
    // Symmetric about file 5, king on 5一, golds in hand.
    Position& middle = positionFrom("4k4/9/9/9/9/9/9/9/9 b G 1");
    middle.mirrorSymmetric = computeMirrorSymmetric(middle);
    ASSERT_EQ(1, middle.mirrorSymmetric);
    EXPECT_EQ("G*41 G*42 G*52", children(middle));
    // Board moves from file 5 keep to files 1..5; those from files 6..9 go.
    Position& pieces = positionFrom("4k4/9/2S1G1S2/9/9/9/9/9/9 b - 1", 1);
    pieces.mirrorSymmetric = computeMirrorSymmetric(pieces);
    ASSERT_EQ(1, pieces.mirrorSymmetric);
    children(pieces);
    for (const Position& c : list) {
        const Move m = c.lastMove;
        EXPECT_TRUE(fileOf(m.from) <= 4 || (fileOf(m.from) == 5 && fileOf(m.to) <= 5)) << moveText(m);
    }
    EXPECT_EQ("33-42+ 33-42 53-52 53-42", children(pieces));
    // Following the composer's line turns the pruning off.
    keepMirrorMoves = true;
    EXPECT_EQ("G*41 G*42 G*52 G*61 G*62", children(middle));
    keepMirrorMoves = false;
    // The same picture one file over (king on 4一) is never pruned.
    Position& off = positionFrom("5k3/9/9/9/9/9/9/9/9 b G 1", 2);
    EXPECT_EQ(0, computeMirrorSymmetric(off));
    EXPECT_EQ("G*31 G*32 G*42 G*51 G*52", children(off));
}

TEST_F(Expansion, PawnDropConditionOffersOnlyThePawnDropMate) {
    ruleSwitches.dropPawnMateAllowed = 1;
    // The rook drop on 5二 mates (the gold on 5三 defends it), so does the
    // pawn drop there: the rook's mate is recorded, not offered; the pawn's
    // stays a child.
    Position& pos = positionFrom("3lkl3/9/4G4/9/9/9/9/9/9 b RP 1");
    const std::string kids = children(pos);
    EXPECT_EQ(std::string::npos, kids.find("R*52")) << kids;
    EXPECT_NE(std::string::npos, kids.find("P*52")) << kids;
    // The removed mate was reported as decided, a proof.
    ASSERT_EQ(1u, listener.decided.size());
    EXPECT_EQ("R*52", moveText(listener.decided[0].lastMove));
    EXPECT_EQ(0, listener.decided[0].proofNumber);
    // Without the condition the rook mate is an ordinary child and the pawn
    // drop mate is not generated.
    ruleSwitches.dropPawnMateAllowed = 0;
    const std::string plain = children(pos);
    EXPECT_NE(std::string::npos, plain.find("R*52")) << plain;
    EXPECT_EQ(std::string::npos, plain.find("P*52")) << plain;
}

// For random positions with the attacker to move in an orthodox problem the
// children are exactly the legal moves that check, in the order the
// candidate generator gives them.
TEST_F(Expansion, ChildrenAreTheCheckingMovesInGenerationOrder) {
    const char* starts[] = {
        "l2gkg2l/9/4P4/9/9/9/9/9/9 b 2R2B2G4S4N2L10P2p 1",
        "7nk/9/7PP/9/9/9/9/9/K8 b G9Ps 1",
        "ln1g1k1nl/1r1s2g2/p1ppp1spp/5pp2/1p7/2P1P1P2/PPBP1P1PP/2G2S1R1/LN2KG1NL b Bp 1",
    };
    std::mt19937 rng(2024);
    int examined = 0, withChildren = 0;
    std::vector<Position> line(41);
    for (const char* sfen : starts) {
        for (int walk = 0; walk < 25; ++walk) {
            std::string error;
            ASSERT_TRUE(setUpFromSfen(line[0], sfen, error)) << error;
            for (int ply = 0; ply < 40; ++ply) {
                Position& pos = line[size_t(ply)];
                if (pos.sideToMove == ATTACKER) {
                    SCOPED_TRACE(testing::Message() << sfen << " walk " << walk << " ply " << ply);
                    const PlainBoard plain = plainBoardOf(pos);
                    const std::vector<uint32_t> legal = bruteLegalMoves(plain, false);
                    std::vector<uint32_t> checking;
                    for (uint32_t w : legal)
                        if (inCheck(afterMove(plain, moveFromWord(w)), DEFENDER)) checking.push_back(w);
                    const int c = generateCheckCandidates(pos);
                    std::string expected;
                    for (int i = 0; i < std::max(c, 0); ++i) {
                        const uint32_t w = moveWord(moveBuffer()[i]);
                        if (std::binary_search(checking.begin(), checking.end(), w))
                            expected += moveText(moveBuffer()[i]) + " ";
                    }
                    if (!expected.empty()) expected.pop_back();
                    int r = 0;
                    ASSERT_EQ(expected, children(pos, &r));
                    EXPECT_EQ(checking.size(), list.size());
                    // In check the candidates are the evasions: none at all
                    // is -1, none that checks 0. Otherwise no candidate is -2.
                    if (checking.empty() && inCheck(plain, ATTACKER)) {
                        EXPECT_EQ(legal.empty() ? ATTACKER_MATED : DEFENDER_MATED, r);
                    } else if (checking.empty()) {
                        EXPECT_TRUE(r == DEFENDER_MATED || (r == ATTACKER_NO_MOVE && c <= 0)) << r;
                    }
                    ++examined;
                    if (!list.empty()) ++withChildren;
                }
                const int n = generateLegalMoves(pos);
                if (n <= 0) break;
                makeChild(pos, line[size_t(ply) + 1], moveBuffer()[rng() % unsigned(n)]);
            }
        }
    }
    EXPECT_GT(examined, 1000);
    EXPECT_GT(withChildren, examined / 4);
}
