#include "position/types.h"

#include <initializer_list>

namespace {

struct PieceMoves {
    std::initializer_list<int> codes;
    std::initializer_list<int> steps;
    std::initializer_list<int> slides;
};

constexpr MovementTable buildMovementTable() {
    const PieceMoves pieces[] = {
        {{17}, {6}, {}},
        {{18}, {}, {6}},
        {{19}, {8, 9}, {}},
        {{20}, {0, 2, 5, 6, 7}, {}},
        {{21, 25, 26, 27, 28, 29}, {1, 3, 4, 5, 6, 7}, {}},
        {{22, 38}, {}, {0, 2, 5, 7}},
        {{23, 39}, {}, {1, 3, 4, 6}},
        {{24, 40}, {0, 1, 2, 3, 4, 5, 6, 7}, {}},
        {{30, 46}, {1, 3, 4, 6}, {0, 2, 5, 7}},
        {{31, 47}, {0, 2, 5, 7}, {1, 3, 4, 6}},
        {{33}, {1}, {}},
        {{34}, {}, {1}},
        {{35}, {10, 11}, {}},
        {{36}, {0, 1, 2, 5, 7}, {}},
        {{37, 41, 42, 43, 44, 45}, {0, 1, 2, 3, 4, 6}, {}},
    };
    MovementTable table{};
    for (const PieceMoves& p : pieces) {
        for (int code : p.codes) {
            for (int d : p.steps) table.entry[code][d] = MOVES_STEP;
            for (int d : p.slides) table.entry[code][d] = MOVES_SLIDE;
        }
    }
    return table;
}

}  // namespace

const MovementTable movementTable = buildMovementTable();

const uint8_t promotable[64] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0..15
    0, 1, 1, 1, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0,  // 16..31: 17..20, 22, 23
    0, 1, 1, 1, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0,  // 32..47: 33..36, 38, 39
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 48..63
};
