#include "position/perft.h"

#include <cstring>

#include "position/movegen.h"
#include "position/moves.h"

namespace {

uint64_t countLeaves(const Position& pos, int depth, Position* children) {
    const int n = generateLegalMoves(pos);
    if (n <= 0) return 0;
    // The buffer is shared with the generators below: copy the moves first.
    Move moves[MOVE_BUFFER_SIZE];
    std::memcpy(moves, moveBuffer(), sizeof(Move) * size_t(n));
    Position& child = children[0];
    uint64_t leaves = 0;
    for (int i = 0; i < n; ++i) {
        makeChild(pos, child, moves[i]);
        leaves += depth == 1 ? 1 : countLeaves(child, depth - 1, children + 1);
    }
    return leaves;
}

}  // namespace

uint64_t perft(const Position& pos, int depth) {
    if (depth <= 0) return 1;
    std::vector<Position> children(static_cast<size_t>(depth));
    return countLeaves(pos, depth, children.data());
}
