#include "driver/trace.h"

#include <string>

#include "base/console.h"
#include "driver/notation.h"
#include "driver/problem_header.h"
#include "driver/report.h"
#include "search/position_table.h"

namespace {

std::string numberPair(int32_t a, int32_t b) {
    std::string text = "(";
    text.append(decimalText(a)).append(", ").append(decimalText(b)).append(")");
    return text;
}

// Grey while the child's proof number grows and its disproof number does
// not, cyan for the opposite; otherwise the colour stays.
void colourForTrend(const Position& c) {
    const bool pnGrew = c.previousProofNumber < c.proofNumber;
    const bool dnGrew = c.previousDisproofNumber < c.disproofNumber;
    if (pnGrew && !dnGrew) setTextAttribute(ATTR_GREY);
    if (!pnGrew && dnGrew) setTextAttribute(ATTR_CYAN);
}

void writeReportLine(SearchContext& ctx, const std::string& text) {
    appendToReport(ctx.reportStream, "\n" + text + "\n");
}

void writeMonitorLine(const SearchContext& ctx, const Position& child, const std::string& text,
                      const std::string& detail) {
    colourForTrend(child);
    std::ostream& out = consoleOut();
    out << '\n';
    if (ctx.phase >= 2) out << '*';
    out << text;
    if (problem.detailedMonitor) out << detail;
    setTextAttribute(ATTR_NORMAL);
    out << '\n' << std::flush;
}

}  // namespace

void traceNodeEntry(SearchContext& ctx, const Position& node, const Position& child) {
    const std::string text = "探索中：" + decimalText(int32_t(node.ply + 1)) + "手目" +
                             formatMove(node, child.lastMove) + numberPair(child.proofNumber, child.disproofNumber) +
                             "→" + numberPair(child.proofThreshold, child.disproofThreshold);
    const int depth = problem.monitorDepth;
    if (problem.traceOn && node.ply < depth) writeReportLine(ctx, text);
    if (problem.monitorOn && node.ply < ctx.rootPly + depth)
        writeMonitorLine(ctx, child, text, " 探訪:" + decimalText(int32_t(uint16_t(child.visitCount))));
}

void traceNodeReturn(SearchContext& ctx, const Position& node, const Position& child) {
    const std::string text = "探索戻り：" + decimalText(int32_t(child.ply)) + "手目" +
                             formatMove(node, child.lastMove) + numberPair(child.proofNumber, child.disproofNumber) +
                             "←" + numberPair(child.previousProofNumber, child.previousDisproofNumber);
    const int depth = problem.monitorDepth;
    if (problem.traceOn && child.ply <= depth) writeReportLine(ctx, text);
    if (problem.monitorOn && child.ply <= ctx.rootPly + depth)
        writeMonitorLine(ctx, child, text,
                         " 探索Lv:" + decimalText(int32_t(levelOf(child.openTreeSize))) + "/" +
                             decimalText(int32_t(levelOf(child.treeSize))));
}

void printSearchStatistics(const SearchContext& ctx, const Position& root) {
    consoleOut() << "\n探索木サイズ：" << decimalText(root.treeSize) << ", 探索レベル："
                 << decimalText(int32_t(levelOf(root.treeSize))) << "\n証明数最大値：" << decimalText(ctx.maxProofNumber)
                 << ", 反証数最大値：" << decimalText(ctx.maxDisproofNumber) << "\n\n"
                 << std::flush;
}
