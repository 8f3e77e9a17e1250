#include "program/entry.h"

#include <ctime>
#include <fstream>
#include <ostream>

#include "base/console.h"
#include "driver/large_stack.h"
#include "driver/notation.h"
#include "driver/problem_header.h"
#include "driver/report.h"
#include "driver/solve.h"
#include "driver/suspend.h"
#include "driver/table_setup.h"
#include "position/position.h"
#include "position/validate.h"
#include "program/batch.h"
#include "program/command_line.h"
#include "program/problem_reader.h"
#include "program/usi.h"
#include "search/position_table.h"
#include "search/search_context.h"

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
    if (problem.moveCountSource == ProblemHeader::MoveCountSource::MoveList)
        consoleOut() << "手数：指し手の数から " << decimalText(problem.statedMoveCount) << "手\n";
    consoleOut() << problem.ruleName << problem.className << ' ' << decimalText(problem.statedMoveCount) << "手"
                 << '\n';
}

// The root position; the later steps of the run (the table, the solve) work from it.
Position rootPosition;

// The name without its last four characters (the extension and its dot); a
// character of a UTF-8 name is its lead byte with the bytes that follow it.
std::string withoutExtension(const std::string& name) {
    size_t end = name.size();
    for (int characters = 0; characters < 4; ++characters) {
        if (end == 0) return name;
        do {
            --end;
        } while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80);
    }
    return name.substr(0, end);
}

// A resumed run names the phase it takes up and the line it replays.
void printResumeBanner() {
    SearchContext& ctx = searchContext;
    ctx.resuming = 1;
    std::ostream& out = consoleOut();
    out << '\n' << problem.ruleName << problem.className << ' ';
    const int32_t length = int32_t(currentSolution.size());
    if (ctx.phase > PHASE_SHORTER_MATE)
        out << decimalText(length) << "手";
    else if (ctx.phase == PHASE_SHORTER_MATE)
        out << decimalText(length - 2) << "手（早詰チェック）";
    else
        out << decimalText(int32_t(problem.moveCount)) << "手";
    out << '\n' << std::flush;
    formatDiagram(rootPosition, "");
    out << "\n再開手順：\n" << std::flush;
}

// False when nothing could be searched: the move count or the rules were
// refused, or the solving thread could not be started.
bool solveOnSolverStack(Position& root) {
    SearchContext& ctx = searchContext;
    bool accepted = false;
    const bool ran = runOnSolverStack([&] { accepted = solve(ctx, root, problem.moveCount, problem.checkLevel); });
    if (!ran) consoleOut() << "領域確保失敗" << '\n';
    closeReport(ctx.reportStream);
    return ran && accepted;
}

}  // namespace

CheckEnd lastCheckEnd;

int checkProblemFile(const std::string* fileName) {
    lastCheckEnd = {};
    installCtrlCHandler();

    ProblemSetup setup{};
    if (fileName) {
        inputFileName = *fileName;
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
    if (ruleSwitches.dropPawnMateAllowed) problem.ruleName = "打歩" + problem.ruleName;
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

    if (!setUpTableForRun(problem)) {
        waitForKey();
        return 1;
    }
    suspendFileName = withoutExtension(inputFileName) + ".kvs";
    reportFileName = inputFileName + ".txt";

    const uint64_t reportStart = reportSizeBefore(reportFileName);
    std::ofstream report(reportFileName, std::ios::out | std::ios::app | std::ios::binary);
    if (!report) return refuse("出力用ファイルを開けませんでした。");

    const ResumeResult resume = resumeFromSuspendFile(positionTable, rootPosition);
    if (resume == ResumeResult::REFUSED) return 1;
    const bool resumed = resume == ResumeResult::RESUMED;
    if (resumed)
        printResumeBanner();
    else
        writeReportHead(report, reportFileName, rootPosition);

    runStartTime = std::time(nullptr);
    setConsoleTitle("検討中：", asTyped(inputFileName));
    const bool searched = solveOnSolverStack(rootPosition);
    setConsoleTitle("検討終了");
    lastCheckEnd = {searched, rootPosition.searchStatus == STATUS_INTERRUPTED};

    recountUsedEntries();
    elapsedSeconds = int32_t(std::time(nullptr) - runStartTime) + (suspendFileResumed ? resumedElapsedSeconds : 0);

    const std::string closing = closingBlockText(searchContext, rootPosition, problem.checkLevel);
    consoleOut() << closing << std::flush;
    appendToReport(report, closing);
    closeReport(report);
    if (reportInUtf8(inputFileName)) convertReportToUtf8(reportFileName, reportStart);

    endSuspendFileUse(resumed);

    waitForKey();
    // A refused problem is not a checked one, nor is a run whose report lost
    // text, and a stopped run whose state could not be saved has lost it: a
    // wrapper that trusts the exit code must count none of them as done.
    return searched && !reportTextLost() && !suspendSaveFailed ? 0 : 1;
}

int runEntrySequence(int argc, char* argv[]) {
    const CommandLine commandLine = parseCommandLine(argc, argv);
    switch (commandLine.action) {
    case CommandLine::Action::Help:
        consoleOut() << usageText() << std::flush;
        return 0;
    case CommandLine::Action::Version:
        consoleOut() << versionText() << std::flush;
        return 0;
    case CommandLine::Action::Refuse:
        consoleOut() << commandLine.refusal << asTyped(commandLine.argument) << "\n\n" << usageText() << std::flush;
        return 1;
    case CommandLine::Action::Batch:
        return runBatch(commandLine.paths);
    case CommandLine::Action::Usi:
        return runUsiEngine();
    case CommandLine::Action::Solve:
        break;
    }
    return checkProblemFile(argc > 1 ? &commandLine.argument : nullptr);
}
