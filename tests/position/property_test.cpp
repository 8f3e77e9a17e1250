// The generators and move making against the brute-force reference, over
// positions reached by random legal play from several starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "brute_force.h"
#include "position/attacks.h"
#include "position/hash_keys.h"
#include "position/movegen.h"
#include "position/moves.h"
#include "position/rules.h"
#include "position/sfen.h"

namespace {

int positionsInCheck = 0;

std::vector<uint32_t> sortedWords(const Move* moves, int n) {
    std::vector<uint32_t> words;
    for (int i = 0; i < n; ++i) words.push_back(moveWord(moves[i]));
    std::sort(words.begin(), words.end());
    return words;
}

std::string wordsText(const std::vector<uint32_t>& words) {
    std::string text;
    for (uint32_t w : words) text += moveText(moveFromWord(w)) + " ";
    return text;
}

// Everything makeMove keeps incrementally, against a computation from scratch.
void expectStateFresh(const Position& pos) {
    Position fresh = pos;
    computeAttackMaps(fresh);
    ASSERT_EQ(0, std::memcmp(fresh.attackerAttacks, pos.attackerAttacks, sizeof pos.attackerAttacks));
    ASSERT_EQ(0, std::memcmp(fresh.defenderAttacks, pos.defenderAttacks, sizeof pos.defenderAttacks));

    uint64_t boardKey = 0, handKey = 0;
    int attackerOnBoard = 0, defenderOnBoard = 0, attackerKing = 0, defenderKing = 0;
    for (int f = 1; f <= 9; ++f)
        for (int r = 1; r <= 9; ++r) {
            const int sq = makeSquare(f, r), code = pos.cell(sq);
            boardKey ^= hashTables.boardKeys[code][sq];
            if (code & ATTACKER) ++attackerOnBoard;
            if (code & DEFENDER) ++defenderOnBoard;
            if (code == ATTACKER_KING) attackerKing = sq;
            if (code == DEFENDER_KING) defenderKing = sq;
        }
    int attackerInHand = 0, defenderInHand = 0;
    for (int code = 17; code <= 39; ++code) {
        for (int n = 1; n <= pos.hand[code]; ++n) handKey ^= hashTables.handKeys[code - 17][n];
        if (code <= 23) attackerInHand += pos.hand[code];
        if (code >= 33) defenderInHand += pos.hand[code];
    }
    ASSERT_EQ(boardKey, pos.boardKey);
    ASSERT_EQ(handKey, pos.handKey);
    ASSERT_EQ(withSideBit(boardKey ^ handKey, pos.sideToMove), pos.positionKey);
    ASSERT_EQ(attackerOnBoard, pos.attackerBoardCount);
    ASSERT_EQ(defenderOnBoard, pos.defenderBoardCount);
    ASSERT_EQ(attackerInHand, pos.attackerHandCount);
    ASSERT_EQ(defenderInHand, pos.defenderHandCount);
    ASSERT_EQ(attackerKing, pos.attackerKingSquare);
    ASSERT_EQ(defenderKing, pos.defenderKingSquare);

    // The path key is the XOR of the move keys along the line from the root.
    uint64_t pathKey = 0;
    for (const Position* p = &pos; p->parent; p = p->parent) {
        const Move m = p->lastMove;
        const int ply = p->parent->ply;
        pathKey ^= hashTables.moveFromKeys[moveKeyRow(m.from)][ply] ^ hashTables.moveToKeys[moveKeyRow(m.to)][ply] ^
                   hashTables.movePromoteKeys[m.promote][ply] ^ hashTables.movePieceKeys[m.piece][ply];
    }
    ASSERT_EQ(pathKey, pos.pathKey);
}

// Returns the legal moves, after checking them and the candidates.
std::vector<Move> checkGenerators(const Position& pos) {
    const PlainBoard plain = plainBoardOf(pos);
    const std::vector<uint32_t> expected = bruteLegalMoves(plain, ruleSwitches.dropPawnMateAllowed);
    const int side = pos.sideToMove;
    const bool checked = inCheck(plain, side);
    if (checked) ++positionsInCheck;

    const int result = generateLegalMoves(pos);
    const int n = std::max(result, 0);
    std::vector<Move> legal(moveBuffer(), moveBuffer() + n);
    const std::vector<uint32_t> got = sortedWords(legal.data(), n);
    EXPECT_TRUE(std::adjacent_find(got.begin(), got.end()) == got.end()) << "duplicate moves";
    EXPECT_EQ(wordsText(expected), wordsText(got)) << (checked ? "evasions" : "legal moves");
    if (expected.empty()) {
        const int code = side == ATTACKER ? (checked ? ATTACKER_MATED : ATTACKER_NO_MOVE)
                                          : (checked ? DEFENDER_MATED : DEFENDER_NO_MOVE);
        EXPECT_EQ(code, result);
    }

    if (side == ATTACKER) {
        const int c = std::max(generateCheckCandidates(pos), 0);
        const std::vector<uint32_t> candidates = sortedWords(moveBuffer(), c);
        std::vector<uint32_t> checkingCandidates, checkingLegal;
        for (uint32_t w : candidates) {
            EXPECT_TRUE(std::binary_search(expected.begin(), expected.end(), w)) << "illegal candidate "
                                                                                  << moveText(moveFromWord(w));
            if (inCheck(afterMove(plain, moveFromWord(w)), DEFENDER)) checkingCandidates.push_back(w);
        }
        for (uint32_t w : expected)
            if (inCheck(afterMove(plain, moveFromWord(w)), DEFENDER)) checkingLegal.push_back(w);
        EXPECT_EQ(wordsText(checkingLegal), wordsText(checkingCandidates)) << "checking moves";
        if (checked) {
            EXPECT_EQ(wordsText(expected), wordsText(candidates));
        }
    }
    return legal;
}

struct Start {
    const char* sfen;
    bool dropPawnMateAllowed;
    int walks;
    int plies;
};

void randomPlay(const Start& start, uint32_t seed, int& positionsSeen) {
    ruleSwitches.dropPawnMateAllowed = start.dropPawnMateAllowed;
    std::vector<Position> line(size_t(start.plies) + 1);
    std::string error;
    ASSERT_TRUE(setUpFromSfen(line[0], start.sfen, error)) << error;
    std::mt19937 rng(seed);
    for (int walk = 0; walk < start.walks; ++walk) {
        for (int ply = 0; ply < start.plies; ++ply) {
            const Position& pos = line[size_t(ply)];
            SCOPED_TRACE(testing::Message() << start.sfen << " walk " << walk << " ply " << ply << " after "
                                            << moveText(pos.lastMove));
            expectStateFresh(pos);
            if (testing::Test::HasFailure()) return;
            const std::vector<Move> legal = checkGenerators(pos);
            ++positionsSeen;
            if (testing::Test::HasFailure() || legal.empty()) break;
            // Prefer checks half of the time, so that evasions get their share.
            Position& next = line[size_t(ply) + 1];
            makeChild(pos, next, legal[rng() % legal.size()]);
            if (rng() % 2 && !isInCheck(next, next.sideToMove)) {
                const size_t first = rng() % legal.size();
                for (size_t i = 0; i < legal.size(); ++i) {
                    makeChild(pos, next, legal[(first + i) % legal.size()]);
                    if (isInCheck(next, next.sideToMove)) break;
                }
            }
        }
    }
}

}  // namespace

TEST(GeneratorsAgainstBruteForce, RandomPlayFromSeveralStarts) {
    const Start starts[] = {
        {"lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1", false, 20, 60},
        // Tsume-like: no attacker king, large attacker hand, a defender hand.
        {"l2gkg2l/9/4P4/9/9/9/9/9/9 b 2R2B2G4S4N2L10P2p 1", false, 20, 40},
        {"l2gkg2l/9/4P4/9/9/9/9/9/9 b 2R2B2G4S4N2L10P2p 1", true, 8, 40},
        // Promoted pieces of both sides, defender to move.
        {"+R3k3+B/4+P4/9/2+S6/9/6+N2/9/2+L6/K3+r4 w G2Pbg 1", false, 15, 40},
        // Kings in corners with pawns about: pawn-drop mates come up.
        {"7nk/9/7PP/9/9/9/9/9/K8 b G9Ps 1", false, 20, 30},
        {"7nk/9/7PP/9/9/9/9/9/K8 b G9Ps 1", true, 8, 30},
        // Enormous hands on both sides.
        {"4k4/9/9/9/9/9/9/9/4K4 b 99R99B99G99S99N99L99P99r99b99g99s99n99l99p 1", false, 2, 8},
    };
    const uint8_t savedSwitch = ruleSwitches.dropPawnMateAllowed;
    int positionsSeen = 0;
    uint32_t seed = 12345;
    for (const Start& start : starts) {
        randomPlay(start, seed++, positionsSeen);
        if (HasFailure()) break;
    }
    ruleSwitches.dropPawnMateAllowed = savedSwitch;
    EXPECT_GT(positionsSeen, 2000);
    EXPECT_GT(positionsInCheck, positionsSeen / 10);
    std::printf("positions checked: %d, in check: %d\n", positionsSeen, positionsInCheck);
}
