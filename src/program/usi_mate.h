// The search behind the USI mode's "go mate": the shortest mate of the
// position, by searches of odd depths upwards, under the orthodox rules with
// futile interpositions not counted.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "position/position.h"

// The problem of a USI position: its side to move is the attacker. The
// program's attacker is the side that moves toward rank 1, so a position
// with gote to move is searched turned round (board rotated, sides
// exchanged) and its moves are turned back in the answer.
struct MateProblem {
    uint8_t diagram[81];  // set-up order: rank 1 first, each from file 9
    int32_t handCounts[HAND_SLOTS];
    bool turned;
};

MateProblem mateProblemOf(const Position& pos);

// What the GUI asked for, and what stops the search early: the number of
// the go command being answered showing in stoppedGo, which the reader of
// the commands sets when a stop or a quit follows a go.
struct MateRequest {
    int32_t hashMB;
    int16_t depthLimit;
    int64_t timeLimitMs;  // 0: none
    const std::atomic<uint64_t>* stoppedGo;
    uint64_t goNumber;
};

// The table of hashMB megabytes, kept when it has that size already. False
// when it cannot be had; the console (standard error) says why.
bool prepareTable(int32_t hashMB);

// Runs the search on the solver stack, sending info lines through send,
// and returns the answer: "checkmate MOVES", "checkmate nomate" or
// "checkmate timeout".
std::string answerGoMate(const MateProblem& problem, const MateRequest& request,
                         const std::function<void(const std::string&)>& send);
