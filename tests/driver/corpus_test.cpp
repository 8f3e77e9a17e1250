// The problems of the shared corpus with known lengths: each must be solved
// with exactly its known length (no shorter mate, no failure), and the
// no-mate entries must be found unsolvable. Every run's console output and
// report must also be exactly as recorded. The longest ones run through
// bench/corpus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
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

// FNV-1a over a run's output with its elapsed times ("所要時間：…秒") blanked:
// everything else must stay the same, byte for byte, from build to build.
uint64_t outputDigest(const std::string& text) {
    const std::string elapsed = "所要時間：", seconds = "秒";
    uint64_t h = 0xCBF29CE484222325ull;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, elapsed.size(), elapsed) == 0) {
            const size_t end = text.find(seconds, i);
            if (end != std::string::npos) i = end + seconds.size() - 1;
            continue;
        }
        h = (h ^ uint8_t(text[i])) * 0x100000001B3ull;
    }
    return h;
}

// The console and report digests of every corpus problem the tests run, as
// the program gave them when they were first recorded. A change to the
// search that is meant to be invisible (a speed-up) must leave them all.
struct RecordedOutput {
    uint64_t console;
    uint64_t report;
};
const std::map<std::string, RecordedOutput> recordedOutputs = {
    {"s005", {0x2abc95bae3e50e14ull, 0x2aa858b0c05e8fecull}},
    {"s007", {0xcec48f7ef6bcb3dull, 0x3435a646672cf5cull}},
    {"s009", {0xe83e3c73f0dda72full, 0x22f6624b586fee3bull}},
    {"s011", {0x3df9f6f911f83ccaull, 0x50fb9eae56d7f654ull}},
    {"s015", {0x324fbe80da6e1a77ull, 0x97e7a274326a65d4ull}},
    {"s017", {0xcdcbff9114135e1dull, 0x19b89d41d399b06cull}},
    {"s019", {0xfa1a672828be5963ull, 0x8641368570c96470ull}},
    {"s021", {0x21c1b3ae59932603ull, 0xff1a623984b75f8eull}},
    {"s023", {0x65f793ff2ba761a1ull, 0x447c5f512e90f996ull}},
    {"s025", {0x306c8d8a5057b2c9ull, 0x833f2f0acf10d204ull}},
    {"s027", {0xcae5c16069157c4bull, 0xb16792c988ab945eull}},
    {"s029", {0x6a614fd12f72f055ull, 0x4295a02538ffdc6bull}},
    {"s031", {0x6f9261de832996a7ull, 0x1f0baaecb364b13dull}},
    {"s033", {0x85ead29337b3d22ull, 0xf1201d9a6a105b66ull}},
    {"s035", {0xacf0727a244b1928ull, 0x86d833c8d9675fcaull}},
    {"s037", {0xd082acb456571eull, 0x7983652da455fb88ull}},
    {"s039", {0xb0786e9f01072cbbull, 0x8d14b84567f17d8bull}},
    {"s041", {0x731dcb9a6b658d95ull, 0xa87ba9f8aa0d310bull}},
    {"s043", {0x424e00c52796b6b7ull, 0x1bc8173f9b86578dull}},
    {"s045", {0x375ea2e4c56690e3ull, 0xb1ffc7e66f85e02ull}},
    {"s047", {0x36c6b5a550c7220bull, 0xe0fb2c943191a4d5ull}},
    {"s049", {0x97f6715cac1d4154ull, 0xd4ed55c577abe0ceull}},
    {"s051", {0x8a54380816d4a432ull, 0xdbeb5c8bf6101413ull}},
    {"s055", {0x14f4e058f83322c7ull, 0xf4d1effcd0869eaaull}},
    {"s057", {0xa0280f7b12fab4b2ull, 0x713e32c49a6fde32ull}},
    {"s059", {0x42da893a8f6f7928ull, 0x26193c390376b126ull}},
    {"s061", {0xefe2d0e604505d31ull, 0xd11655c0d9a95e02ull}},
    {"s063", {0xdee130b489b853a5ull, 0xf82fd313bc5077d8ull}},
    {"s065", {0xff611022a9d57b6full, 0xebe9dac43c9980f4ull}},
    {"s067", {0x3043b24ea76579c2ull, 0x78efaace7b2bcf65ull}},
    {"s069", {0xbe31f73baabddd19ull, 0xdf3a76c207552e92ull}},
    {"s071", {0xda038b5a6906247aull, 0x5ee084808d4fbb40ull}},
    {"s073", {0x73c72995877eb5feull, 0x43a5c5a0ad290aa4ull}},
    {"s075", {0xaab5a1e8f62f8dfdull, 0xd8d4e8466ab24b40ull}},
    {"s077", {0xa1b437650e0a6804ull, 0x4538bf264a07c48dull}},
    {"s079", {0x3346688464c029e8ull, 0x64d3fea78b857103ull}},
    {"m001", {0x84052fe54949551dull, 0x62699eed254a0031ull}},
    {"m003", {0x180eb288ec03bd8dull, 0x63b7599a4d2bb524ull}},
    {"n002", {0x51e2a10e0e54e3dbull, 0x2c6d658a6557c498ull}},
    {"n004", {0x96d52b2c510dd5c7ull, 0xcaf2c617635cc86cull}},
    {"m005", {0xd175ae5abc91d976ull, 0xfd247e6b67b2505aull}},
    {"m007", {0x4e4f2b7eff11d3c4ull, 0x98ae959528b39f5aull}},
    {"m013", {0x2db9eeebf330c42bull, 0x8363abc95fc325a8ull}},
    {"m015", {0xcf96ce905aea4bf0ull, 0x66ce90b662467cbfull}},
    {"m017", {0x1411263e78ca5ee6ull, 0xa9580b285a75a47aull}},
    {"m019", {0xf2fc9895b5540f18ull, 0xe057a04b2012fd06ull}},
    {"m021", {0xbf76bc597e383a7eull, 0xa18daa1b536a9ac1ull}},
    {"m023", {0x2cfde7812d8efda3ull, 0x3161c4bd86fdbeeull}},
    {"m027", {0xaa082afe4663b4feull, 0x8a19c48194377478ull}},
    {"m029", {0x6170de2a0418bb4cull, 0x1ce830276dcd052dull}},
    {"m031", {0xeaa84a7f70d18d19ull, 0xc490e7c201a95d88ull}},
    {"m035", {0x634f464b60fc9a9full, 0x824ce3898efdbf2full}},
    {"m037", {0x2531fe0d255be53eull, 0xc406960fddf0b052ull}},
    {"l001", {0x37886de9faf62fffull, 0xc0bd55b2a4be336dull}},
    {"l005", {0x7c4a3db8906d40daull, 0xa4607d8ae71e5039ull}},
    {"l007", {0x3626c7db87fc009eull, 0x932294032ea4a4dull}},
    {"l009", {0x479eb2d2f1b6f30cull, 0x9d2ea1fe6aba9c58ull}},
    {"l013", {0x17056db9f5576d58ull, 0x50028671aeedd848ull}},
    {"l015", {0x749d8b0a758ffe84ull, 0x3bdb1c7f3723e9caull}},
    {"l021", {0xcb25412dd665b6a5ull, 0xce2509981d37b45full}},
};

void expectRecordedOutput(const std::string& id, const RunResult& run, const std::string& report) {
    const auto recorded = recordedOutputs.find(id);
    const RecordedOutput actual{outputDigest(run.console), outputDigest(report)};
    ASSERT_NE(recorded, recordedOutputs.end()) << id << ": no recorded output; this run gives {0x" << std::hex
                                               << actual.console << "ull, 0x" << actual.report << "ull}";
    EXPECT_EQ(recorded->second.console, actual.console) << id << ": the console output changed" << shown(run.console);
    EXPECT_EQ(recorded->second.report, actual.report) << id << ": the report changed" << shown(report);
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
        expectRecordedOutput(e.id, run, report);
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

// The longer problems that finish within some seconds each, several of them
// only after reclaiming table space: their whole output as recorded. (l021
// ends unsolved: the defender's interpositions next to its king are real
// defences under the rules, which makes the mate longer than its book length.)
TEST(Corpus, LongerProblemsGiveTheirRecordedOutput) {
    const std::vector<CorpusEntry> entries = readIndex();
    if (entries.empty()) GTEST_SKIP() << "no corpus at " << corpusDir();
    for (const CorpusEntry& e : entries) {
        if (e.moves <= 15 || !recordedOutputs.count(e.id)) continue;
        ProblemFile file(RawText{readFile(corpusDir() + "/" + e.file)}, e.id + ".kif");
        const RunResult run = file.run("", 300);
        EXPECT_EQ(run.exitCode, 0) << e.id;
        expectRecordedOutput(e.id, run, file.report());
    }
}
#endif

}  // namespace
