#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "position/perft.h"
#include "position/sfen.h"

namespace {

constexpr const char* INITIAL = "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1";

Position& fromSfen(const char* sfen) {
    static Position pos;
    std::string error;
    EXPECT_TRUE(setUpFromSfen(pos, sfen, error)) << error;
    return pos;
}

}  // namespace

TEST(Perft, InitialPosition) {
    const Position& root = fromSfen(INITIAL);
    EXPECT_EQ(30u, perft(root, 1));
    EXPECT_EQ(900u, perft(root, 2));
    EXPECT_EQ(25470u, perft(root, 3));
    EXPECT_EQ(719731u, perft(root, 4));
#ifdef KELVARO_SLOW_TESTS
    EXPECT_EQ(19861490u, perft(root, 5));
#endif
}

TEST(Sfen, ReadsBoardHandsAndSide) {
    SfenPosition p;
    std::string error;
    ASSERT_TRUE(parseSfen("+R3k3+b/9/9/9/9/9/9/9/4K4 w 2G18Pn", p, error)) << error;
    EXPECT_EQ(ATTACKER | DRAGON, p.diagram[0]);           // 9一, first of rank 1
    EXPECT_EQ(DEFENDER_KING, p.diagram[4]);               // 5一
    EXPECT_EQ(DEFENDER | HORSE, p.diagram[8]);            // 1一
    EXPECT_EQ(ATTACKER_KING, p.diagram[9 * 8 + 4]);       // 5九
    EXPECT_EQ(2, p.handCounts[ATTACKER | GOLD]);
    EXPECT_EQ(18, p.handCounts[ATTACKER | PAWN]);
    EXPECT_EQ(1, p.handCounts[DEFENDER | KNIGHT]);
    EXPECT_EQ(DEFENDER, p.side);
}

TEST(Sfen, RejectsMalformedTextWithAReason) {
    const char* bad[] = {
        "",
        "9/9/9/9/9/9/9/9 b -",                      // 8 ranks
        "9/9/9/9/9/9/9/9/9/9 b -",                  // 10 ranks
        "8/9/9/9/9/9/9/9/9 b -",                    // narrow rank
        "91/9/9/9/9/9/9/9/9 b -",                   // wide rank
        "k9/9/9/9/9/9/9/9/9 b -",                   // wide after a piece
        "x8/9/9/9/9/9/9/9/9 b -",                   // unknown letter
        "+G8/9/9/9/9/9/9/9/9 b -",                  // gold cannot promote
        "+K8/9/9/9/9/9/9/9/9 b -",                  // nor the king
        "++P8/9/9/9/9/9/9/9/9 b -",                 // doubled '+'
        "8+/9/9/9/9/9/9/9/9 b -",                   // dangling '+'
        "+18/9/9/9/9/9/9/9/9 b -",                  // '+' before a digit
        "09/9/9/9/9/9/9/9/9 b -",                   // zero count
        "9/9/9/9/9/9/9/9/9 x -",                    // side letter
        "9/9/9/9/9/9/9/9/9 b",                      // missing hands
        "9/9/9/9/9/9/9/9/9 b 100P",                 // count above 99
        "9/9/9/9/9/9/9/9/9 b 60P40P",               // sum above 99
        "9/9/9/9/9/9/9/9/9 b 0P",                   // count 0
        "9/9/9/9/9/9/9/9/9 b K",                    // king in hand
        "9/9/9/9/9/9/9/9/9 b 2",                    // count without a piece
        "9/9/9/9/9/9/9/9/9 b - x",                  // move number
        "9/9/9/9/9/9/9/9/9 b - 0",                  // move number 0
        "9/9/9/9/9/9/9/9/9 b - 1 extra",            // too many fields
    };
    for (const char* text : bad) {
        SfenPosition p;
        std::string error;
        EXPECT_FALSE(parseSfen(text, p, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    SfenPosition p;
    std::string error;
    EXPECT_TRUE(parseSfen("9/9/9/9/9/9/9/9/9 b 99p", p, error)) << error;
}

// The hands in their usual order, promoted pieces of both sides, a rank
// ending in empty squares, gote to move.
TEST(Sfen, WritesWhatItReads) {
    for (const char* text :
         {INITIAL, "+R3k3+b/9/9/9/9/9/9/9/4K4 w R2G18Pb3n 1", "8k/6S2/7G1/9/9/9/9/9/R8 b r2b3g3s4n4l18p 1"})
        EXPECT_EQ(text, sfenOf(fromSfen(text)));
}

TEST(PerftTool, PrintsEveryDepthAndRefusesBadInput) {
    const std::string tool = std::string(KELVARO_BINARY_DIR) + "/perft";
    if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "the perft tool is not built";
    auto run = [&](const std::string& args, std::string& out) {
        FILE* pipe = popen((tool + " " + args + " 2>/dev/null").c_str(), "r");
        if (!pipe) return -1;
        char buf[256];
        out.clear();
        while (fgets(buf, sizeof buf, pipe)) out += buf;
        const int status = pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string out;
    ASSERT_EQ(0, run(std::string("'") + INITIAL + "' 2", out));
    EXPECT_EQ("perft(1) = 30\nperft(2) = 900\n", out);
    EXPECT_EQ(2, run("'9/9/9/9/9/9/9/9/9 b -' 0", out));
    EXPECT_EQ(2, run("'9/9/9/9/9/9/9/9/9 b -' 99", out));
    EXPECT_EQ(2, run("'9/9/9/9/9/9/9/9/9 b -' 2x", out));
    EXPECT_EQ(2, run("'9/9/9/9 b -' 1", out));
    EXPECT_EQ(2, run("'9/9/9/9/9/9/9/9/9 b -'", out));
    EXPECT_EQ("", out);
}
