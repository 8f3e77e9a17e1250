// kelvaro --usi spoken to as a GUI speaks to an engine: over pipes, a
// command a line, each answer awaited before the next go. Corpus problems
// are given as the SFEN of their diagrams, read by the program's reader.
#include <gtest/gtest.h>

#include <sstream>

#include "corpus_index.h"
#include "corpus_problem.h"
#include "harness.h"
#include "position/movegen.h"
#include "position/moves.h"
#include "position/sfen.h"
#include "position/usi_move.h"
#include "test_data.h"

namespace {

using namespace harness;

// Generous: no answer may depend on the machine's speed. The waits end at
// the answer; only a fault lets one run out.
constexpr int ANSWER_SECONDS = 120;

std::vector<std::string> wordsOf(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

Command usiCommand() {
    Command command;
    command.arguments = {"--usi"};
    return command;
}

// The engine after the handshake, ready for positions.
class UsiEngine {
public:
    UsiEngine() : session_(usiCommand()) {
        send("usi");
        handshaken_ = session_.waitForLine("usiok", ANSWER_SECONDS).has_value();
        send("isready");
        handshaken_ = handshaken_ && session_.waitForLine("readyok", ANSWER_SECONDS).has_value();
    }
    bool ready() const { return handshaken_; }
    void send(const std::string& line) { session_.send(line); }
    std::optional<std::string> waitForLine(const std::string& prefix) {
        return session_.waitForLine(prefix, ANSWER_SECONDS);
    }
    // The answer to go mate on the position: the checkmate line.
    std::string mate(const std::string& position, const std::string& limit = "60000") {
        send("position " + position);
        send("go mate " + limit);
        return waitForLine("checkmate").value_or("(no answer)");
    }
    std::vector<std::string> lines() const { return session_.lines(); }
    int finish() { return session_.finish(ANSWER_SECONDS); }

private:
    PipeSession session_;
    bool handshaken_ = false;
};

// The diagram of a corpus problem in SFEN, the attacker to move.
std::string corpusSfen(const CorpusEntry& e) {
    Position root{};
    EXPECT_TRUE(readCorpusPosition(e.file, root));
    return sfenOf(root);
}

// The line played from the position: every move legal, every attacking
// move a check, the defender mated at the end.
::testing::AssertionResult isMateLine(const std::string& sfen, const std::vector<std::string>& moves) {
    Position pos;
    std::string error;
    if (!setUpFromSfen(pos, sfen, error)) return ::testing::AssertionFailure() << error;
    for (size_t i = 0; i < moves.size(); ++i) {
        Move move;
        if (!findUsiMove(pos, moves[i], move))
            return ::testing::AssertionFailure() << "move " << i + 1 << " " << moves[i] << " is not legal";
        makeMove(pos, move);
        if (i % 2 == 0 && pos.attackerAttacks[pos.defenderKingSquare] == 0)
            return ::testing::AssertionFailure() << "move " << i + 1 << " " << moves[i] << " is no check";
    }
    if (generateLegalMoves(pos) != DEFENDER_MATED) return ::testing::AssertionFailure() << "the end is no mate";
    return ::testing::AssertionSuccess();
}

const CorpusEntry* findEntry(const std::vector<CorpusEntry>& entries, const std::string& id) {
    for (const CorpusEntry& e : entries)
        if (e.id == id) return &e;
    return nullptr;
}

}  // namespace

TEST(Usi, HandshakeNamesTheOptionsAndUnknownLinesAreIgnored) {
    UsiEngine engine;
    ASSERT_TRUE(engine.ready());
    const std::vector<std::string> handshake = engine.lines();
    ASSERT_EQ(handshake.size(), 6u);
    EXPECT_EQ(handshake[0], "id name Kelvaro 1.07");
    EXPECT_MATCH(handshake[1], "id author {*}");
    EXPECT_MATCH(handshake[2], "option name USI_Hash type spin default 240 min 20 max {*}");
    EXPECT_EQ(handshake[3], "option name DepthLimit type spin default 2999 min 1 max 2999");
    EXPECT_EQ(handshake[4], "usiok");
    EXPECT_EQ(handshake[5], "readyok");

    // No answer to what the engine does not know, and no stop without a search.
    for (const char* line : {"hello engine", "setoption name NoSuchOption value 3", "go", "stop", "isready"})
        engine.send(line);
    ASSERT_TRUE(engine.waitForLine("readyok"));
    EXPECT_EQ(engine.lines().size(), handshake.size() + 1);
    // The end of the input ends the engine.
    EXPECT_EQ(engine.finish(), 0);
}

TEST(Usi, MatesAreAnsweredWithTheShortestLegalLine) {
    UsiEngine engine;
    ASSERT_TRUE(engine.ready());
    // A mate in one: every piece the defender can drop on the first rank is
    // taken for nothing. The same turned round, with gote the attacker after
    // a move of sente: the answer is in the squares of the position given.
    EXPECT_EQ(engine.mate("sfen 8k/6S2/7G1/9/9/9/9/9/R8 b r2b3g3s4n4l18p 1"), "checkmate 9i9a");
    EXPECT_EQ(engine.mate("sfen 8r/9/9/9/9/9/1g7/2s6/K8 b R2B3G3S4N4L18P 1 moves P*5e"), "checkmate 1a1i");

    const std::vector<CorpusEntry> entries = readCorpusIndex();
    if (entries.empty()) SKIP_OR_FAIL_WITHOUT_DATA("no corpus at " << corpusDir());
    // One of each length up to fifteen; s069 has a futile interposition.
    for (const char* id : {"s005", "s015", "s043", "s069", "s077", "m001", "m003", "m005"}) {
        const CorpusEntry* e = findEntry(entries, id);
        ASSERT_NE(e, nullptr) << id;
        const std::string sfen = corpusSfen(*e);
        const std::string answer = engine.mate("sfen " + sfen);
        const std::vector<std::string> words = wordsOf(answer);
        ASSERT_GE(words.size(), 2u) << id << ": " << answer;
        const std::vector<std::string> moves(words.begin() + 1, words.end());
        EXPECT_EQ(moves.size(), size_t(expectedLength(*e))) << id << ": " << answer;
        EXPECT_TRUE(isMateLine(sfen, moves)) << id << ": " << answer;
        const std::vector<std::string> lines = engine.lines();
        EXPECT_MATCH(lines[lines.size() - 2], "info depth {*} nodes {*} pv " + answer.substr(10));
    }
}

TEST(Usi, NoMateIsAnsweredWhenNoDepthOrNoDepthWithinTheLimitMates) {
    UsiEngine engine;
    ASSERT_TRUE(engine.ready());
    // The pawn is taken and nothing is left to check with: no deeper search
    // can mate, so even an unlimited search ends.
    EXPECT_EQ(engine.mate("sfen 4k4/9/9/9/9/9/9/9/9 b P 1", "infinite"), "checkmate nomate");
    // A board without the defender's king is no mate problem.
    EXPECT_EQ(engine.mate("sfen 9/9/9/9/9/9/9/9/9 b P 1"), "checkmate nomate");

    const std::vector<CorpusEntry> entries = readCorpusIndex();
    const CorpusEntry* mateIn3 = findEntry(entries, "s015");
    if (!mateIn3) SKIP_OR_FAIL_WITHOUT_DATA("no corpus at " << corpusDir());
    const std::string position = "sfen " + corpusSfen(*mateIn3);
    engine.send("setoption name DepthLimit value 1");
    EXPECT_EQ(engine.mate(position), "checkmate nomate");
    engine.send("setoption name DepthLimit value 2999");
    EXPECT_EQ(wordsOf(engine.mate(position)).size(), 4u);
}

TEST(Usi, StopAndTheTimeLimitAnswerTimeoutAndQuitEndsASearch) {
    const std::vector<CorpusEntry> entries = readCorpusIndex();
    const CorpusEntry* longest = findEntry(entries, "l032");
    const CorpusEntry* mateIn3 = findEntry(entries, "s015");
    if (!longest || !mateIn3) SKIP_OR_FAIL_WITHOUT_DATA("no corpus at " << corpusDir());
    const std::string position = "position sfen " + corpusSfen(*longest);
    UsiEngine engine;
    ASSERT_TRUE(engine.ready());

    // Stopped once it shows that it searches: no machine solves a mate in
    // 1525 in the time this takes.
    engine.send(position);
    engine.send("go mate infinite");
    ASSERT_TRUE(engine.waitForLine("info depth "));
    engine.send("stop");
    EXPECT_EQ(engine.waitForLine("checkmate").value_or(""), "checkmate timeout");
    EXPECT_EQ(engine.mate(position.substr(9), "300"), "checkmate timeout");
    // What the stopped searches left behind does not reach the next problem.
    EXPECT_EQ(wordsOf(engine.mate("sfen " + corpusSfen(*mateIn3))).size(), 4u);

    // The end of the input would let the search go on: quit ends it.
    engine.send(position);
    engine.send("go mate infinite");
    ASSERT_TRUE(engine.waitForLine("info depth "));
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}
