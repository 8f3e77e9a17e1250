#include "brute_force.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

bool onBoard(int sq) { return isBoardSquare(sq); }

// Targets of the piece on sq, by the movement table alone.
template <typename Visit>
void forEachTarget(const PlainBoard& b, int sq, Visit&& visit) {
    const int code = b.at(sq);
    for (int d = 0; d < DIRECTION_COUNT; ++d) {
        const int o = directionOffset[d];
        if (stepsIn(code, d)) {
            if (onBoard(sq + o)) visit(sq + o);
        } else if (slidesIn(code, d)) {
            for (int t = sq + o; onBoard(t); t += o) {
                visit(t);
                if (b.at(t) != EMPTY) break;
            }
        }
    }
}

int forwardRank(int side, int rank) { return side == ATTACKER ? rank : 10 - rank; }

// A piece of code standing on rank would never move again.
bool deadEnd(int code, int rank) {
    const int kind = kindOf(code), e = forwardRank(ownerOf(code), rank);
    return ((kind == PAWN || kind == LANCE) && e == 1) || (kind == KNIGHT && e <= 2);
}

bool legalFor(const PlainBoard& b, Move m) {
    const PlainBoard next = afterMove(b, m);
    return !inCheck(next, b.side);
}

void boardMoves(const PlainBoard& b, std::vector<Move>& out) {
    for (int sq = SQUARE_MIN; sq <= SQUARE_MAX; ++sq) {
        if (!onBoard(sq) || ownerOf(b.at(sq)) != b.side) continue;
        const int code = b.at(sq);
        forEachTarget(b, sq, [&](int t) {
            if (ownerOf(b.at(t)) == b.side) return;
            const bool zone = forwardRank(b.side, rankOf(sq)) <= 3 || forwardRank(b.side, rankOf(t)) <= 3;
            if (promotable[code] && zone) out.push_back(Move{uint8_t(sq), uint8_t(t), uint8_t(code), 1});
            if (!deadEnd(code, rankOf(t))) out.push_back(Move{uint8_t(sq), uint8_t(t), uint8_t(code), 0});
        });
    }
}

void drops(const PlainBoard& b, std::vector<Move>& out) {
    for (int kind = PAWN; kind <= ROOK; ++kind) {
        const int code = b.side | kind;
        if (b.hand[code] <= 0) continue;
        for (int sq = SQUARE_MIN; sq <= SQUARE_MAX; ++sq) {
            if (!onBoard(sq) || b.at(sq) != EMPTY || deadEnd(code, rankOf(sq))) continue;
            if (kind == PAWN) {
                bool twoPawns = false;
                for (int r = 1; r <= 9; ++r) twoPawns |= b.at(makeSquare(fileOf(sq), r)) == code;
                if (twoPawns) continue;
            }
            out.push_back(Move{0, uint8_t(sq), uint8_t(code), 0});
        }
    }
}

bool hasLegalMove(const PlainBoard& b) {
    std::vector<Move> all;
    boardMoves(b, all);
    drops(b, all);
    for (Move m : all)
        if (legalFor(b, m)) return true;
    return false;
}

}  // namespace

PlainBoard plainBoardOf(const Position& pos) {
    PlainBoard b;
    std::memcpy(b.cell, pos.board, sizeof b.cell);
    std::memcpy(b.hand, pos.hand, sizeof b.hand);
    b.side = pos.sideToMove;
    return b;
}

PlainBoard afterMove(const PlainBoard& b, Move m) {
    PlainBoard next = b;
    if (isDrop(m)) {
        --next.hand[m.piece];
    } else {
        next.at(m.from) = EMPTY;
        const int taken = b.at(m.to);
        if (taken != EMPTY && (taken & 7) != 0) ++next.hand[(taken & 7) | b.side];
    }
    next.at(m.to) = uint8_t(m.promote ? m.piece | PROMOTED : m.piece);
    next.side = otherSide(b.side);
    return next;
}

bool attackedBy(const PlainBoard& b, int sq, int bySide) {
    bool hit = false;
    for (int s = SQUARE_MIN; s <= SQUARE_MAX && !hit; ++s)
        if (onBoard(s) && ownerOf(b.at(s)) == bySide) forEachTarget(b, s, [&](int t) { hit |= t == sq; });
    return hit;
}

int kingSquare(const PlainBoard& b, int side) {
    for (int s = SQUARE_MIN; s <= SQUARE_MAX; ++s)
        if (onBoard(s) && b.at(s) == (side | KING)) return s;
    return 0;
}

bool inCheck(const PlainBoard& b, int side) {
    const int k = kingSquare(b, side);
    return k != 0 && attackedBy(b, k, otherSide(side));
}

std::vector<uint32_t> bruteLegalMoves(const PlainBoard& b, bool dropPawnMateAllowed) {
    std::vector<Move> all;
    boardMoves(b, all);
    drops(b, all);
    std::vector<uint32_t> legal;
    for (Move m : all) {
        if (!legalFor(b, m)) continue;
        if (!dropPawnMateAllowed && isDrop(m) && kindOf(m.piece) == PAWN) {
            const PlainBoard next = afterMove(b, m);
            if (inCheck(next, next.side) && !hasLegalMove(next)) continue;
        }
        legal.push_back(moveWord(m));
    }
    std::sort(legal.begin(), legal.end());
    return legal;
}

std::string moveText(Move m) {
    char text[16];
    if (isDrop(m))
        std::snprintf(text, sizeof text, "%c*%d%d", " PLNSGBRK"[kindOf(m.piece) & 7], fileOf(m.to), rankOf(m.to));
    else
        std::snprintf(text, sizeof text, "%d%d-%d%d%s", fileOf(m.from), rankOf(m.from), fileOf(m.to), rankOf(m.to),
                      m.promote ? "+" : "");
    return text;
}

std::string movesText(const Move* moves, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        if (i) text += ' ';
        text += moveText(moves[i]);
    }
    return text;
}
