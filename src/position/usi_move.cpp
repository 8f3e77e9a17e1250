#include "position/usi_move.h"

#include "position/movegen.h"
#include "position/sfen.h"

namespace {

void appendSquare(std::string& text, int sq) {
    text.push_back(char('0' + fileOf(sq)));
    text.push_back(char('a' + rankOf(sq) - 1));
}

}  // namespace

std::string usiMoveText(Move move) {
    std::string text;
    if (isDrop(move)) {
        text.push_back(sfenLetter(kindOf(move.piece)));
        text.push_back('*');
    } else {
        appendSquare(text, move.from);
    }
    appendSquare(text, move.to);
    if (move.promote) text.push_back('+');
    return text;
}

// Written, not parsed: every legal move is spelt and compared, so that a
// text is accepted exactly when it names one of them.
bool findUsiMove(const Position& pos, std::string_view text, Move& move) {
    const int count = generateLegalMoves(pos);
    for (int i = 0; i < count; ++i) {
        if (usiMoveText(moveBuffer()[i]) != text) continue;
        move = moveBuffer()[i];
        return true;
    }
    return false;
}
