// The corpus of real problems up to fifteen moves (and a few longer ones):
// every mate is found at its length and, since there is no shorter one, not
// two moves earlier; every no-mate entry stays unproven. s069, s073 and s075
// are given as mates in 7 by a source that counts every interposition; with
// futile interpositions not counted they are mates in 5.
#include "corpus_problem.h"

#include <fstream>
#include <map>
#include <sstream>

namespace {

struct CorpusCase {
    const char* id;
    int16_t depth;
    bool mate;
};

// The disproof of m005 at 13 moves takes over a second: it is left to the
// benchmark script.
const CorpusCase corpusCases[] = {
    {"s005", 1, true},
    {"s007", 1, true},
    {"s009", 1, true},
    {"s011", 1, true},
    {"s015", 3, true},
    {"s015", 1, false},
    {"s017", 3, true},
    {"s017", 1, false},
    {"s019", 3, true},
    {"s019", 1, false},
    {"s021", 3, true},
    {"s021", 1, false},
    {"s023", 3, true},
    {"s023", 1, false},
    {"s025", 3, true},
    {"s025", 1, false},
    {"s027", 3, true},
    {"s027", 1, false},
    {"s029", 3, true},
    {"s029", 1, false},
    {"s031", 3, true},
    {"s031", 1, false},
    {"s033", 3, true},
    {"s033", 1, false},
    {"s035", 3, true},
    {"s035", 1, false},
    {"s037", 3, true},
    {"s037", 1, false},
    {"s039", 3, true},
    {"s039", 1, false},
    {"s041", 3, true},
    {"s041", 1, false},
    {"s043", 5, true},
    {"s043", 3, false},
    {"s045", 5, true},
    {"s045", 3, false},
    {"s047", 5, true},
    {"s047", 3, false},
    {"s049", 5, true},
    {"s049", 3, false},
    {"s051", 5, true},
    {"s051", 3, false},
    {"s055", 5, true},
    {"s055", 3, false},
    {"s057", 5, true},
    {"s057", 3, false},
    {"s059", 5, true},
    {"s059", 3, false},
    {"s061", 5, true},
    {"s061", 3, false},
    {"s063", 5, true},
    {"s063", 3, false},
    {"s065", 7, true},
    {"s065", 5, false},
    {"s067", 7, true},
    {"s067", 5, false},
    {"s069", 5, true},
    {"s069", 3, false},
    {"s071", 7, true},
    {"s071", 5, false},
    {"s073", 5, true},
    {"s073", 3, false},
    {"s075", 5, true},
    {"s075", 3, false},
    {"s077", 9, true},
    {"s077", 7, false},
    {"s079", 9, true},
    {"s079", 7, false},
    {"m001", 11, true},
    {"m001", 9, false},
    {"m003", 13, true},
    {"m003", 11, false},
    {"m005", 15, true},
    // Beyond fifteen moves (each well under a second): longer lines reach
    // positions the short ones never do.
    {"m007", 17, true},
    {"m015", 21, true},
    {"m023", 25, true},
    {"m033", 27, true},
    {"n002", 1, false},
    {"n004", 3, false}
};

std::map<std::string, std::string> corpusIndex() {
    std::map<std::string, std::string> files;
    std::ifstream in(std::string(KELVARO_CORPUS_DIR) + "/index.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string id, file;
        std::getline(fields, id, '\t');
        std::getline(fields, file, '\t');
        files[id] = file;
    }
    return files;
}

class Corpus : public ::testing::TestWithParam<CorpusCase> {
protected:
    void TearDown() override {
        releasePositionTable();
        resetSolveState();
    }
    Position root{};
};

std::string caseName(const ::testing::TestParamInfo<CorpusCase>& info) {
    return std::string(info.param.id) + "_depth" + std::to_string(info.param.depth);
}

}  // namespace

TEST_P(Corpus, VerdictAndLength) {
    const CorpusCase& c = GetParam();
    static const std::map<std::string, std::string> files = corpusIndex();
    const auto file = files.find(c.id);
    if (file == files.end()) SKIP_OR_FAIL_WITHOUT_DATA("the corpus is not at " KELVARO_CORPUS_DIR);
    ASSERT_TRUE(loadCorpusProblem(file->second, root));
    const SearchOutcome out = searchRoot(root, c.depth);
    if (c.mate) {
        EXPECT_EQ(0, out.pn);
        EXPECT_EQ(INFINITE_NUMBER, out.dn);
        // No shorter mate exists, so the proof recorded for the root is
        // exactly as long as the stated solution.
        const TableEntry* proof = findResolved(root, c.depth);
        ASSERT_NE(nullptr, proof);
        EXPECT_TRUE(isProof(*proof));
        EXPECT_EQ(c.depth, proof->length);
    } else {
        EXPECT_NE(0, out.pn);
        EXPECT_EQ(0, out.dn);
    }
    EXPECT_EQ(STATUS_RUNNING, root.searchStatus);
}

INSTANTIATE_TEST_SUITE_P(UpToFifteenMoves, Corpus, ::testing::ValuesIn(corpusCases), caseName);

#ifdef KELVARO_SLOW_TESTS
// Longer searches, a few seconds each in an optimised build: the mates of up
// to 29 moves that finish quickly and the disproofs two moves short of them
// that stay within a few million positions. m007 and m027 two moves short
// fill the table past its limit, so they go through reclamation as well.
const CorpusCase longCorpusCases[] = {
    {"m005", 13, false},
    {"m009", 17, true},
    {"m013", 19, true},
    {"m017", 21, true},
    {"m019", 23, true},
    {"m021", 23, true},
    {"m025", 25, true},
    {"m027", 25, true},
    {"m029", 27, true},
    {"m031", 27, true},
    {"m035", 29, true},
    {"m037", 29, true},
    {"m007", 15, false},
    {"m015", 19, false},
    {"m017", 19, false},
    {"m023", 23, false},
    {"m027", 23, false},
    {"m031", 25, false},
    {"m037", 27, false},
};

INSTANTIATE_TEST_SUITE_P(UpToTwentyNineMoves, Corpus, ::testing::ValuesIn(longCorpusCases), caseName);
#endif
