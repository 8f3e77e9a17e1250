// The problems of the shared corpus with known lengths: each must be solved
// with exactly its known length (no shorter mate, no failure), and the
// no-mate entries must be found unsolvable. Every run's console output and
// report must also be exactly as recorded. The longest ones run through
// bench/corpus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <vector>

#include "harness.h"
#include "test_data.h"

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
    return dir ? dir : KELVARO_CORPUS_DIR;
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

// What of a run's output is its result: the elapsed times, the positions
// searched, the table's use and its reclamation notices (with the blank
// line before each) depend on how the search goes about it and are left out.
// (CP932 text: found as byte strings, never by a regular expression.)
std::string resultText(const std::string& text) {
    const auto cut = [](std::string& line, const std::string& from, const std::string& to) {
        const size_t at = line.find(from);
        if (at == std::string::npos) return;
        const size_t end = to.empty() ? line.size() : line.find_first_not_of(to, at + from.size());
        line.erase(at, (end == std::string::npos ? line.size() : end) - at);
    };
    const std::string continuation = "\t\t　";
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find("メモリが不足気味です") != std::string::npos) continue;
        if (line.find("の非保護データ") != std::string::npos) continue;
        cut(line, "所要時間：", "0123456789秒");
        cut(line, "探索局面数：", "0123456789");
        cut(line, "局面表：", "");
        // Where a list of moves wraps depends on the notices printed inside
        // it: a continuation joins its line, and blank lines go.
        if (line.empty()) continue;
        if (line.rfind(continuation, 0) == 0 && !lines.empty())
            lines.back() += line.substr(continuation.size());
        else
            lines.push_back(line);
    }
    std::string result;
    for (const std::string& line : lines) result += line + '\n';
    return result;
}

// FNV-1a over the result part of a run's output.
uint64_t outputDigest(const std::string& text) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (const char c : resultText(text)) h = (h ^ uint8_t(c)) * 0x100000001B3ull;
    return h;
}

// The console and report digests of every corpus problem the tests run, as
// the program gave them when they were last recorded (when futile
// interpositions stopped counting). A change to the search that is meant to
// be invisible (a speed-up) must leave them all.
struct RecordedOutput {
    uint64_t console;
    uint64_t report;
};
const std::map<std::string, RecordedOutput> recordedOutputs = {
    {"s005", {0xd35335fc74e605d2ull, 0xc6669e735b97cfd3ull}},
    {"s007", {0xb2f6af5e5eb63084ull, 0x7b38f251998c5b02ull}},
    {"s009", {0x9889ff5fb8607dd5ull, 0xd55b3aac1a7c5ff9ull}},
    {"s011", {0x772a7f4ef01f218dull, 0xe23914de4ffcffbbull}},
    {"s015", {0x77aead4f1a0ba568ull, 0x67c664baa0eaeb98ull}},
    {"s017", {0x46706041c8c8e081ull, 0xa7d09176fca03728ull}},
    {"s019", {0xeb068cc4a0258e24ull, 0x4a4b0c1c243eae23ull}},
    {"s021", {0x6f2919352d245508ull, 0x19197b41e919c5b3ull}},
    {"s023", {0x49f78980d9ac7a30ull, 0xafc69680cc97d3ccull}},
    {"s025", {0x950332731a95d6b2ull, 0xb8792f7234072419ull}},
    {"s027", {0x51f2a889cc3d05b1ull, 0x4ccf22ba0748179aull}},
    {"s029", {0xbdb08a02738b53c6ull, 0x3a58ff627520b55bull}},
    {"s031", {0x274c0718b3636a5aull, 0x1737d19559fef4cdull}},
    {"s033", {0x85d882d62a0f8d48ull, 0xd0b1db8c29c873b3ull}},
    {"s035", {0xdd46f50755e39c60ull, 0xc25e55db06f8a92aull}},
    {"s037", {0x82e09e9f6f1c8f3full, 0x3d9cf8545b325fdfull}},
    {"s039", {0xc4200c7979e4825aull, 0x5836dd3aa01e3595ull}},
    {"s041", {0x99b81634eb1b956cull, 0xb402168622c40cd3ull}},
    {"s043", {0x4ed347a89dd0b851ull, 0x6e28e4258cd9829ull}},
    {"s045", {0x30cef8b747f20316ull, 0x35d10e9110dfd501ull}},
    {"s047", {0xbac4d3c1944e903eull, 0x43ebdd04c2a1392dull}},
    {"s049", {0x13e1745d6bd53ddull, 0xa4cf7dd5ceae7148ull}},
    {"s051", {0xa836f2de8d689a4aull, 0xdded1251246dbf91ull}},
    {"s055", {0xb4541a006cbc3a60ull, 0x3a890af03f0652c3ull}},
    {"s057", {0x82bb15398499c3f7ull, 0xc29872fe3fa9e865ull}},
    {"s059", {0x9cefe95665745bfbull, 0xa5ea4a89deabef75ull}},
    {"s061", {0xcf2b4c65903f489dull, 0xfcdcfe6182738432ull}},
    {"s063", {0xd4201ce1bdd1ca92ull, 0xb1ede358989e7323ull}},
    {"s065", {0xf2a630dacdcc561dull, 0x98901ce9113279ccull}},
    {"s067", {0x6edec48e3f2cc8beull, 0xcee02f71870262cdull}},
    {"s069", {0x594a6d2162d89bb2ull, 0x2f2c86672ac1abf6ull}},
    {"s071", {0x46868e9c299eb3ffull, 0xf5b93a48e703a045ull}},
    {"s073", {0xd3ad102e22a4e56eull, 0x40dcc4a47f5f5bb2ull}},
    {"s075", {0x3119796418a3b20bull, 0x22db03e0bfa0829ull}},
    {"s077", {0x86bbeb816089529aull, 0xb7ee9da6d243d83bull}},
    {"s079", {0x21a9f9ca91f8abb4ull, 0xa5a5c1183e47e7fbull}},
    {"m001", {0x581bd829dab260fdull, 0x63b1e05e60452d40ull}},
    {"m003", {0xdb5b778c9445e5a7ull, 0xb542b0952a0f202eull}},
    {"n002", {0x22b930368ec68e62ull, 0xec1eb22c6aa01f09ull}},
    {"n004", {0x528176744d056d47ull, 0x112de3f9a293a07cull}},
    {"m005", {0x778af357416136bull, 0x23b2a8c2717f71eeull}},
    {"m007", {0x84c53c707b0f11a4ull, 0x8fad7417665f88c9ull}},
    {"m013", {0xe8d6293ab3c64b32ull, 0x1f7af0482c3a5fe4ull}},
    {"m015", {0x8260715d2bd39426ull, 0x14735d53a8766163ull}},
    {"m017", {0x8f52bf305c51a2f1ull, 0x554c4ebc04130a20ull}},
    {"m019", {0xe3978d07fa4844fbull, 0xb223f05ef2f9facaull}},
    {"m021", {0x456789d219e4a4b5ull, 0x9d841cedae69ba86ull}},
    {"m023", {0xfb519ab6c6cf3b68ull, 0x61488f32e4e66319ull}},
    {"m027", {0xa5400cf84ad51905ull, 0x3763baed32241bull}},
    {"m029", {0x4963ae78fdc096d8ull, 0x7b38d5bd5a390bfbull}},
    {"m031", {0x25c537ba041bf988ull, 0xf590b64706ef1d2cull}},
    {"m035", {0x966e969916120af1ull, 0xf0f32a01bd6f56c5ull}},
    {"m037", {0xd988a1a33bfa6522ull, 0x48d383e4ace5a246ull}},
    {"l001", {0x4ab1000a7e2f4cf2ull, 0xd4ec7fd56df2cdd9ull}},
    {"l005", {0xdd7513ffd93c5f83ull, 0x7058d6ed7bb68b10ull}},
    {"l007", {0xdfba5e06b3251561ull, 0xa2c96c5e5abeddc1ull}},
    {"l009", {0xc83e5c80aa4938a5ull, 0xb918e838aeedecf5ull}},
    {"l013", {0x9d8ba1a826f1d2d6ull, 0x49482b24cb4aa3d5ull}},
    {"l015", {0x552d44543cb98608ull, 0x172fc0e211f4fdb8ull}},
    {"l021", {0x9ef571f421f5ad25ull, 0xc7f97c4458b44d1eull}},
};

void expectRecordedOutput(const std::string& id, const RunResult& run, const std::string& report) {
    const auto recorded = recordedOutputs.find(id);
    const RecordedOutput actual{outputDigest(run.console), outputDigest(report)};
    EXPECT_NE(recorded, recordedOutputs.end()) << id << ": no recorded output; this run gives {0x" << std::hex
                                               << actual.console << "ull, 0x" << actual.report << "ull}";
    EXPECT_EQ(recorded->second.console, actual.console) << id << ": the console output changed" << shown(run.console);
    EXPECT_EQ(recorded->second.report, actual.report) << id << ": the report changed" << shown(report);
}

// Lengths that the index gives with futile interpositions counted (their
// source counts every defence), and the mates without them.
const std::map<std::string, int> lengthsWithoutFutileInterpositions = {{"s069", 5}, {"s073", 5}, {"s075", 5}};

int expectedLength(const CorpusEntry& e) {
    const auto shorter = lengthsWithoutFutileInterpositions.find(e.id);
    return shorter == lengthsWithoutFutileInterpositions.end() ? e.moves : shorter->second;
}

void solveCorpus(int minMoves, int maxMoves) {
    const std::vector<CorpusEntry> entries = readIndex();
    if (entries.empty()) SKIP_OR_FAIL_WITHOUT_DATA("no corpus at " << corpusDir());
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
            EXPECT_EQ(lastSolutionLength(report), expectedLength(e)) << e.id << shown(report);
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
// ends unsolved at the book's 261: the forced mate is 263. On the composer's
// line 208手目34玉 lasts two moves longer than 52玉, and from 250手目 the
// composer's eleven-move finish has a nine-move one, 53桂成 32玉 42圭 ….)
TEST(Corpus, LongerProblemsGiveTheirRecordedOutput) {
    const std::vector<CorpusEntry> entries = readIndex();
    if (entries.empty()) SKIP_OR_FAIL_WITHOUT_DATA("no corpus at " << corpusDir());
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
