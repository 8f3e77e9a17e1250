#include "driver/progress.h"

#include <vector>

#include "frontend/console.h"
#include "frontend/notation.h"
#include "frontend/problem_header.h"
#include "search/keyboard.h"
#include "search/position_table.h"

namespace {

// The positions from the root's first child down to pos.
std::vector<const Position*> currentLine(const Position& pos) {
    std::vector<const Position*> line;
    for (const Position* p = &pos; p; p = p->parent)
        if (p->ply > 0) line.insert(line.begin(), p);
    return line;
}

bool isGrandparentKiller(const Position& p) {
    return p.parent && p.parent->parent && moveWord(p.lastMove) == uint32_t(p.parent->parent->killerMove);
}

void printCurrentLine(const SearchContext& ctx, const std::vector<const Position*>& line) {
    std::ostream& out = consoleOut();
    bool agreesWithComposer = ctx.followIntendedLine;
    for (size_t i = 0; i < line.size(); ++i) {
        const Position& p = *line[i];
        if (agreesWithComposer && (i >= enteredSequence.size() || enteredSequence[i] != p.lastMove)) {
            out << "★";
            agreesWithComposer = false;
        }
        if (problem.detailedMonitor && isGrandparentKiller(p)) out << '!';
        out << formatMove(p.parent ? *p.parent : p, p.lastMove);
        if ((i + 1) % 10 == 0) out << '\n';
    }
    if (line.size() % 10 != 0) out << '\n';
}

}  // namespace

void showProgress(SearchContext& ctx, const Position& pos) {
    std::ostream& out = consoleOut();
    out << "\n現在の読み筋：開始" << decimalText(int32_t(ctx.rootPly)) << "手目、検討深度(実/指定)："
        << decimalText(int32_t(ctx.deepestPly)) << "/" << decimalText(int32_t(ctx.depthLimit)) << '\n';
    printCurrentLine(ctx, currentLine(pos));
    out << '\n' << decimalText(int32_t(pos.ply)) << "手目：";
    if (!isNoMove(pos.lastMove) && pos.parent) out << formatMove(*pos.parent, pos.lastMove);
    out << '\n' << std::flush;
    formatDiagram(pos, "");
    const double used = positionTable.capacity ? double(positionTable.usedCount) / double(positionTable.capacity) : 0;
    out.setf(std::ios::fixed);
    out.precision(1);
    out << "局面表使用率：" << used * 100 << "％\n";
    if (problem.detailedMonitor)
        out << "リトライ" << decimalText(positionTable.maxProbesUnresolved) << ", 不詰リトライ"
            << decimalText(positionTable.maxProbesDisproof) << ", 詰リトライ" << decimalText(positionTable.maxProbesProof)
            << '\n';
    out << std::flush;
}

bool checkInterrupt(SearchContext& ctx, Position& pos) {
    if (keyboardNoticesPending()) printKeyboardNotices();
    if (ctrlCPressed) {
        ctrlCPressed = 0;
        installCtrlCHandler();
    }
    if (!escPressed) return false;
    resumePath.clear();
    ctx.resumePly = pos.ply;
    ctx.resumeMove = pos.lastMove;
    escPressed = 0;
    showProgress(ctx, pos);
    const bool stop = askYesNo("\n中断しますか？（Y/N）：", 'Y');
    resumePath.clear();
    ctx.savedChildLists.clear();
    if (stop) {
        keyboardThreadRunning = 0;
        pos.searchStatus = STATUS_INTERRUPTED;
        return true;
    }
    ctx.resumePly = 0;
    ctx.resumeMove = Move{};
    consoleOut() << "\n再開します\n" << std::flush;
    return false;
}
