#include "support.h"

#include <sstream>

#include "driver/problem_header.h"
#include "search/search_context.h"

ReadOutcome readProblemText(const std::string& text) {
    resetProblemHeader(problem);
    searchContext.composerLine.clear();
    searchContext.forceComposerLine = 0;
    ReadOutcome outcome{};
    std::istringstream in(text);
    outcome.accepted = readProblemFile(in, outcome.setup, outcome.refusal);
    return outcome;
}

std::string problemWithRows(const std::vector<std::string>& rows, const std::string& defenderHand,
                            const std::string& attackerHand) {
    harness::Problem p;
    p.header = {"手数：1"};
    p.defenderHand = defenderHand;
    p.rows = rows;
    p.attackerHand = attackerHand;
    std::string text;
    for (const std::string& line : p.lines()) text += line + "\n";
    return text;
}
