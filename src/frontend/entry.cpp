#include "frontend/entry.h"

#include <fstream>
#include <ostream>

#include "frontend/console.h"
#include "frontend/notation.h"
#include "frontend/problem_header.h"
#include "frontend/problem_reader.h"
#include "position/position.h"
#include "position/validate.h"

std::string inputFileName;

namespace {

// Every refusal before the solve: the message, a key wait, exit code 1.
int refuse(const std::string& message) {
    consoleOut() << message << '\n';
    waitForKey();
    return 1;
}

bool askForFileName() {
    consoleOut() << "入力ファイル名：" << std::flush;
    return readInputLine(inputFileName);
}

void printRuleLine() {
    consoleOut() << problem.ruleName << problem.className << ' ' << decimalText(int32_t(problem.moveCount)) << "手"
                 << '\n';
}

// The root position; the later steps of the run (the table, the solve) work from it.
Position rootPosition;

}  // namespace

int runEntrySequence(int argc, char* argv[]) {
    installCtrlCHandler();

    ProblemSetup setup{};
    if (argc > 1) {
        inputFileName = argv[1];
    } else if (!askForFileName()) {
        inputFileName.clear();
    }

    std::ifstream file(inputFileName, std::ios::in | std::ios::binary);
    if (inputFileName.empty() || !file) {
        consoleOut() << "エラー：ファイルを開けませんでした。Enterキーを押して終了してください" << '\n';
        waitForKeySilently();
        return 1;
    }

    std::string refusal;
    if (!readProblemFile(file, setup, refusal)) return refuse(refusal);
    file.close();

    rootPosition = Position{};
    setUpPosition(rootPosition, setup.diagram, setup.handCounts, firstMover());

    if (!problem.caption.empty()) consoleOut() << problem.caption << "\n\n";
    if (problem.dropPawnMateAllowed) problem.ruleName = "打歩" + problem.ruleName;
    printRuleLine();
    formatDiagram(rootPosition, "");

    if (!validateInitialPosition(rootPosition)) {
        waitForKey();
        return 1;
    }

    // A memory size that cannot be read stops the run before the table is sized.
    if (problem.memorySizeInvalid)
        return refuse("メモリサイズの指定が正しくありません：" + problem.memorySizeText +
                      "（整数でMBまたはGBを付けて指定してください）");

    return 0;
}
