#include "driver/report.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "base/byte_text.h"
#include "base/console.h"
#include "base/terminal_text.h"
#include "driver/notation.h"
#include "driver/problem_header.h"
#include "driver/solve.h"
#include "driver/suspend_storage.h"
#include "search/position_table.h"

namespace {

bool reportLost = false;

void noteReportLost() {
    reportLost = true;
    newLineIfNeeded();
    consoleOut() << "出力用ファイルに書き込めませんでした：" << asTyped(reportFileName) << '\n' << std::flush;
}

// Phase 2 along the composer's line: the first move of the interrupted
// path that leaves the line. The path's records are root first; the root's
// own record carries no move, so the moves start with the second record.
std::string composerDeparture(const Position& initial) {
    MoveLine path;
    bool root = true;
    for (const ResumeRecord& r : resumePath) {
        if (!root) path.push_back(r.lastMove);
        root = false;
    }
    for (size_t i = 0; i < path.size() && i < searchContext.composerLine.size(); ++i) {
        if (path[i] == searchContext.composerLine[i]) continue;
        return "、" + decimalText(uint64_t(i + 1)) + "手目" + moveTextAfter(initial, path, i, path[i]) + "まで";
    }
    return "";
}

std::string optionNotes(const SearchContext& ctx) {
    std::string text;
    if (ctx.followIntendedLine) {
        text += ", 手順指定";
        if (ctx.forceComposerLine)
            text += ", 作意強制(" + decimalText(uint64_t(ctx.composerLine.size())) + "手)";
    }
    if (problem.cookCheck)
        text += ", 検討深度(実/指定) " + decimalText(int32_t(ctx.deepestPlyOverall)) + "/" +
                decimalText(int32_t(problem.cookDepth));
    if (ruleSwitches.symmetryDetection) text += ", 対称性検出 ";
    return text;
}

std::string endingText(const SearchContext& ctx, const Position& initial, int32_t checkLevel) {
    if (initial.searchStatus == STATUS_INTERRUPTED) return " \n(中断：" + interruptionPhaseText(ctx, initial) + ")\n\n";
    if (checkLevel == 1) return " (解図のみ)\n\n";
    if (checkLevel == 2) return " (略式検討)\n\n";
    return "\n\n";
}

}  // namespace

std::string percentText(uint64_t part, uint64_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%3.1f", whole ? double(part) * 100.0 / double(whole) : 0.0);
    return text;
}

bool reportTextLost() { return reportLost; }

bool reportStreamHolds(std::ofstream& report) {
    if (!reportLost && report.fail()) noteReportLost();
    if (reportLost && report.is_open()) report.close();
    return !reportLost;
}

void appendToReport(std::ofstream& report, std::string_view text) {
    if (reportLost) return;
    report << text << std::flush;
    reportStreamHolds(report);
}

void closeReport(std::ofstream& report) {
    if (!report.is_open()) return;
    report.close();
    reportStreamHolds(report);
}

uint64_t reportSizeBefore(const std::string& fileName) {
    struct stat status{};
    return ::stat(fileName.c_str(), &status) == 0 && S_ISREG(status.st_mode) ? uint64_t(status.st_size) : 0;
}

bool reportInUtf8(const std::string& problemFileName) { return hasExtension(problemFileName, ".kifu"); }

void convertReportToUtf8(const std::string& fileName, uint64_t offset) {
    if (reportLost || !isRegularFile(fileName)) return;
    // A link is followed: the file it names is replaced, the link stays.
    char resolved[PATH_MAX];
    if (!::realpath(fileName.c_str(), resolved)) return;
    std::FILE* in = std::fopen(resolved, "rb");
    if (!in) return noteReportLost();
    std::string text;
    char block[65536];
    for (size_t n; (n = std::fread(block, 1, sizeof block, in)) > 0;) text.append(block, n);
    const bool readWell = !std::ferror(in);
    std::fclose(in);
    if (!readWell || offset > text.size()) return noteReportLost();
    const std::string converted = convertText(std::string_view(text).substr(offset), "UTF-8", "CP932");
    Replacement r;
    if (!beginReplacement(r, resolved)) return noteReportLost();
    const bool written = std::fwrite(text.data(), 1, offset, r.file) == offset &&
                         std::fwrite(converted.data(), 1, converted.size(), r.file) == converted.size();
    if (!written) {
        abandonReplacement(r);
        return noteReportLost();
    }
    if (!commitReplacement(r)) noteReportLost();
}

void writeReportHead(std::ofstream& report, const std::string& fileName, const Position& initial) {
    if (!problem.caption.empty()) report << problem.caption << '\n' << std::flush << '\n' << std::flush;
    report << problem.ruleName << problem.className << ' ' << decimalText(problem.statedMoveCount) << "手" << '\n'
           << std::flush;
    if (reportStreamHolds(report) && !formatDiagram(initial, fileName)) noteReportLost();
}

std::string interruptionPhaseText(const SearchContext& ctx, const Position& initial) {
    switch (ctx.phase) {
    case PHASE_SOLVING:
        return "求解中";
    case PHASE_SHORTER_MATE:
        return ctx.followIntendedLine ? "早詰検討中" + composerDeparture(initial) : "早詰検討中";
    case PHASE_VERIFYING:
        if (isNoMove(ctx.savedMove)) return "早詰検討まで";
        return "変別・非限定検討中、" + decimalText(int32_t(ctx.savedPly + 1)) + "手目" +
               moveTextAfter(initial, currentSolution, size_t(ctx.savedPly), ctx.savedMove) + "まで";
    default:
        return "";
    }
}

std::string closingBlockText(const SearchContext& ctx, const Position& initial, int32_t checkLevel) {
    const PositionTable& t = positionTable;
    std::string text = "\n所要時間：" + elapsedText() + " 探索局面数：" + decimalText(ctx.nodeCount) + "\n";
    if (problem.detailedMonitor) text += "探索レベル：" + decimalText(ctx.maxLevel) + ", ";
    text += "局面表：" + decimalText(t.peakUsed) + "/" + decimalText(t.capacity) + " (" +
            percentText(t.peakUsed, t.capacity) + "％)\n";
    text += std::string("Checked by ") + PROGRAM_NAME + " " + PROGRAM_VERSION;
    text += optionNotes(ctx);
    text += endingText(ctx, initial, checkLevel);
    return text;
}
