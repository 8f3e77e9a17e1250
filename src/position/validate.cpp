#include "position/validate.h"

#include <ostream>
#include <string>

#include "base/console.h"
#include "position/rules.h"
#include "position/square_names.h"

namespace {

bool refuse(const char* reason, const char* advice) {
    std::ostream& out = consoleOut();
    out << reason << '\n';
    if (advice) out << advice << '\n';
    return false;
}

// A problem that mates (or repeats) without obligatory checks may do without
// a defender's king; every other problem aimed at the defender's king needs it.
bool defenderKingMissing(const Position& pos) {
    if (!(ruleSwitches.RuleFlags & TARGET_DEFENDER_KING) || pos.defenderKingSquare != 0) return false;
    return ruleSwitches.checkRequired || !(ruleSwitches.RuleFlags & (GOAL_MATE | GOAL_REPETITION));
}

bool ownKingMissing(const Position& pos) {
    return (ruleSwitches.RuleFlags & GOAL_MATE) && (ruleSwitches.RuleFlags & TARGET_OWN_KING) && pos.attackerKingSquare == 0;
}

// The side that is not to move must not stand in check already.
bool sideNotToMoveInCheck(const Position& pos) {
    if (pos.sideToMove == ATTACKER)
        return pos.defenderKingSquare != 0 && pos.attackerAttacks[pos.defenderKingSquare] != 0;
    return pos.attackerKingSquare != 0 && pos.defenderAttacks[pos.attackerKingSquare] != 0;
}

bool twoPawnsOnAFile(const Position& pos) {
    for (int file = 1; file <= 9; ++file) {
        int attackerPawns = 0, defenderPawns = 0;
        for (int rank = 1; rank <= 9; ++rank) {
            const int code = pos.cell(makeSquare(file, rank));
            if (code == (ATTACKER | PAWN)) ++attackerPawns;
            if (code == (DEFENDER | PAWN)) ++defenderPawns;
            if (attackerPawns > 1 || defenderPawns > 1) return true;
        }
    }
    return false;
}

bool pieceWithNowhereToGo(const Position& pos) {
    for (int file = 1; file <= 9; ++file) {
        const int rank1 = pos.cell(makeSquare(file, 1));
        const int rank2 = pos.cell(makeSquare(file, 2));
        const int rank8 = pos.cell(makeSquare(file, 8));
        const int rank9 = pos.cell(makeSquare(file, 9));
        if (rank1 >= (ATTACKER | PAWN) && rank1 <= (ATTACKER | KNIGHT)) return true;
        if (rank9 >= (DEFENDER | PAWN) && rank9 <= (DEFENDER | KNIGHT)) return true;
        if (rank2 == (ATTACKER | KNIGHT) || rank8 == (DEFENDER | KNIGHT)) return true;
    }
    return false;
}

// The squares of a side's kings, as the diagram names them ("５一"), when
// the side has more than one: the position keeps only one king square per
// side, so a second king would be searched as an ordinary piece.
std::string extraKingSquares(const Position& pos, int side) {
    std::string squares;
    int kings = 0;
    for (int file = 9; file >= 1; --file)
        for (int rank = 1; rank <= 9; ++rank) {
            if (pos.cell(makeSquare(file, rank)) != (side | KING)) continue;
            if (kings++ > 0) squares += "、";
            squares += squareName(makeSquare(file, rank));
        }
    return kings > 1 ? squares : std::string();
}

// Tells the user and answers true when the side has more than one king.
bool extraKingsRefused(const Position& pos, int side, const char* who) {
    const std::string squares = extraKingSquares(pos, side);
    if (squares.empty()) return false;
    consoleOut() << who << "が複数あります：" << squares << '\n';
    refuse("図が正しいかどうかチェックしてください", nullptr);
    return true;
}

}  // namespace

bool validateInitialPosition(const Position& pos) {
    if (extraKingsRefused(pos, DEFENDER, "受方玉") || extraKingsRefused(pos, ATTACKER, "攻方玉")) return false;
    if (defenderKingMissing(pos)) return refuse("受方玉がありません", "図が正しいかどうかチェックしてください");
    if (ownKingMissing(pos))
        return refuse("自玉詰にもかかわらず自玉がありません", "図や手番が正しいかどうかチェックしてください");
    if (sideNotToMoveInCheck(pos))
        return refuse("初形で既に王手が掛かっています", "図や手番が正しいかどうかチェックしてください");
    if (twoPawnsOnAFile(pos)) return refuse("初形に二歩があります", nullptr);
    if (pieceWithNowhereToGo(pos)) return refuse("初形に行きどころのない駒があります", nullptr);
    return true;
}
