// Move generation: legal moves, candidate checking moves and check evasions.
//
// Every generator writes into one shared move buffer. The top-level
// generators (generateLegalMoves, generateCheckCandidates, generateEvasions)
// start it from index 0; the piece, king, moves-to and drops-to generators
// append at the current end. Callers copy the moves out before the next
// generator call: the buffer is not re-entrant.
#pragma once

#include "position/attacks.h"
#include "position/position.h"

// Worst case of one generator call. Every move goes to a cell that does not
// hold a piece of the mover: with n of the mover's pieces on the board, there
// are at most 81 - n such cells, e of them empty.
//  - Board moves onto one cell come from at most 10 pieces (the nearest piece
//    on each of the eight lines through it, and the two knight squares), each
//    with at most two moves (promoting and not): at most 20 per cell.
//  - One piece has at most 32 moves (an unpromoted rook or bishop: 16 targets
//    on an open board, each doubled in the promotion zone; a dragon or horse
//    has at most 16 + 4, a lance 8 x 2, any other piece 10 or fewer).
//  - At most seven drops (one per kind) go to one empty cell.
// So the count is at most min(32 n, 20 (81 - n)) + 7 (81 - n), largest at
// n = 31 with 25 * 31 + 567 = 1342. The evasions and the check candidates are
// sets of the same kind of moves (no move is produced twice), so the bound
// covers them too.
constexpr int worstCaseMoveCount() {
    int worst = 0;
    for (int n = 0; n <= 81; ++n) {
        const int boardMoves = 32 * n < 20 * (81 - n) ? 32 * n : 20 * (81 - n);
        const int total = boardMoves + 7 * (81 - n);
        if (total > worst) worst = total;
    }
    return worst;
}
constexpr int MOVE_BUFFER_SIZE = 1344;
static_assert(worstCaseMoveCount() == 1342 && MOVE_BUFFER_SIZE >= worstCaseMoveCount());

// Read-only view of the shared buffer and the number of moves in it.
const Move* moveBuffer();
int moveBufferCount();
// Empties the buffer; the appending generators below then write from index 0.
void clearMoveBuffer();

// Result codes of generateLegalMoves when there is no move.
constexpr int ATTACKER_MATED = -1;       // attacker in check, no evasion
constexpr int DEFENDER_MATED = 0;        // defender in check, no evasion
constexpr int ATTACKER_NO_MOVE = -2;     // attacker not in check (or kingless), no move
constexpr int DEFENDER_NO_MOVE = -3;     // defender not in check (or kingless), no move

// All legal moves of the side to move; pins may be null (then computed).
// Returns the number of moves or one of the codes above.
int generateLegalMoves(const Position& pos, const int32_t* pins = nullptr);

// For the attacker to move: a superset of its checking moves, cut down by
// geometry; expansion keeps the moves that really give check. In check, the
// evasions (their number, or -1). discoveries (findDiscoveries) may be null
// (then computed), and is computed with pins when those are null.
int generateCheckCandidates(const Position& pos, const int32_t* pins = nullptr,
                            const int32_t* discoveries = nullptr);

// Appends the moves of the piece of side on sq, which has pin value pin.
void generatePieceMoves(const Position& pos, int side, int sq, int pin);

// Whether a pawn of side dropped on sq would mate the opponent's king. pins
// may be null (then computed).
bool isPawnDropMate(const Position& pos, int side, int sq, const int32_t* pins);

// The replies of the side to move to a check; checkBits is the opponent's
// attack word on the king's square. Returns the number of moves (0: none).
int generateEvasions(const Position& pos, int32_t checkBits, const int32_t* pins);

// Appends the king moves of side; checkBits = 0 outside check.
void generateKingMoves(const Position& pos, int side, int32_t checkBits);

// Appends every non-king board move of side onto sq.
void generateMovesTo(const Position& pos, int side, int sq, const int32_t* pins);

// Appends every legal drop of side on the empty sq. pins (may be null, then
// computed) serve the pawn-drop mate test.
void generateDropsTo(const Position& pos, int side, int sq, const int32_t* pins = nullptr);
