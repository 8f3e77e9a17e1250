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
    std::string text = "後手の持駒：" + defenderHand + "\n";
    text += "  ９ ８ ７ ６ ５ ４ ３ ２ １\n";
    text += "+---------------------------+\n";
    for (const std::string& row : rows) text += row + "\n";
    text += "+---------------------------+\n";
    text += "先手の持駒：" + attackerHand + "\n";
    return text;
}
