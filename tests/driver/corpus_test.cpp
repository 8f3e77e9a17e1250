// The problems of the shared corpus with known lengths: each must be solved
// with exactly its known length (no shorter mate, no failure), and the
// no-mate entries must be found unsolvable. The longer ones run through
// bench/corpus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "harness.h"

namespace {

using namespace harness;

struct CorpusEntry {
    std::string id;
    std::string file;
    int moves;
    bool mate;
};

std::string corpusDir() {
    const char* dir = std::getenv("KELVARO_CORPUS");
    return dir ? dir : "/work/shared/corpus";
}

std::vector<CorpusEntry> readIndex() {
    std::vector<CorpusEntry> entries;
    std::istringstream in(readFile(corpusDir() + "/index.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (fields.size() < 4) continue;
        entries.push_back({fields[0], fields[1], std::atoi(fields[2].c_str()), fields[3] == "mate"});
    }
    return entries;
}

// The length of the last solution block of a report, -1 when there is none.
int lastSolutionLength(const std::string& report) {
    const std::string mark = "まで ";
    const size_t at = report.rfind(mark);
    if (at == std::string::npos) return -1;
    return std::atoi(report.c_str() + at + mark.size());
}

void solveCorpus(int minMoves, int maxMoves) {
    const std::vector<CorpusEntry> entries = readIndex();
    if (entries.empty()) GTEST_SKIP() << "no corpus at " << corpusDir();
    int solved = 0;
    for (const CorpusEntry& e : entries) {
        if (e.moves < minMoves || e.moves > maxMoves) continue;
        ProblemFile file(RawText{readFile(corpusDir() + "/" + e.file)}, e.id + ".kif");
        const RunResult run = file.run("", 120);
        const std::string report = file.report();
        EXPECT_EQ(run.exitCode, 0) << e.id;
        EXPECT_EQ(report.find("(中断"), std::string::npos) << e.id << shown(report);
        if (e.mate) {
            EXPECT_EQ(report.find("詰みませんでした"), std::string::npos) << e.id;
            EXPECT_EQ(lastSolutionLength(report), e.moves) << e.id << shown(report);
        } else {
            EXPECT_NE(report.find("詰みませんでした"), std::string::npos) << e.id << shown(report);
        }
        ++solved;
    }
    EXPECT_GT(solved, 0);
}

TEST(Corpus, ShortProblemsAreSolvedWithTheirKnownLength) { solveCorpus(1, 13); }

#ifdef KELVARO_SLOW_TESTS
TEST(Corpus, FifteenMoveProblemsAreSolvedWithTheirKnownLength) { solveCorpus(15, 15); }
#endif

}  // namespace
