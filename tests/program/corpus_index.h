// The index of the corpus of real problems (problems/corpus/index.tsv): one
// problem a line, with its stated length and verdict.
#pragma once

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

struct CorpusEntry {
    std::string id;
    std::string file;
    int moves;
    bool mate;
};

// KELVARO_CORPUS, or the corpus of the source tree.
inline std::string corpusDir() {
    const char* dir = std::getenv("KELVARO_CORPUS");
    return dir ? dir : KELVARO_CORPUS_DIR;
}

// The tab-separated fields of a line of a table.
inline std::vector<std::string> tabFields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    return fields;
}

inline std::vector<CorpusEntry> readCorpusIndex() {
    std::vector<CorpusEntry> entries;
    std::istringstream in(harness::readFile(corpusDir() + "/index.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> fields = tabFields(line);
        if (fields.size() < 4) continue;
        entries.push_back({fields[0], fields[1], std::atoi(fields[2].c_str()), fields[3] == "mate"});
    }
    return entries;
}

// The length of the mate with futile interpositions not counted. The index
// gives a few with them counted (their source counts every defence).
inline int expectedLength(const CorpusEntry& e) {
    static const std::map<std::string, int> withoutFutileInterpositions = {{"s069", 5}, {"s073", 5}, {"s075", 5}};
    const auto shorter = withoutFutileInterpositions.find(e.id);
    return shorter == withoutFutileInterpositions.end() ? e.moves : shorter->second;
}
