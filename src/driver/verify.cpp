// Verification of a solution, one node of the line per call.
//
// At every node the other moves of the side to move are searched:
//  - at a defender node an alternative defence that is not mated at least
//    two moves sooner lasts as long as the main line (非限定);
//  - at an attacker node an alternative that mates as well is a cook (余詰),
//    or, under the cook check, a promotion choice (非限定) or a detour (迂回);
//  - a main-line defence that loses faster than the line claims is replaced
//    by the best other defence, and the node is verified again (手順修正).
//
// Resuming. An interrupted search leaves its path in resumePath and
// savedChildLists, and every node of this walk above the interrupted one
// adds its own record on the way out (the bookkeeping at the end of a node).
// A node that stops a search of its own returns without a record: the first
// record after those of the walk then belongs to the root of the stopped
// search, and each level of the walk drops one record (and, below the root,
// one child list) on the way down again, so that the search finds its own
// records in front when it replays its path.
#include "driver/verify.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_text.h"
#include "base/console.h"
#include "driver/keyboard.h"
#include "driver/notation.h"
#include "driver/phase_log.h"
#include "driver/problem_header.h"
#include "driver/report.h"
#include "driver/run_findings.h"
#include "driver/solve.h"
#include "position/movegen.h"
#include "position/moves.h"
#include "search/futile_interposition.h"
#include "search/position_table.h"
#include "search/search.h"
#include "search/table_expansion.h"

namespace {

constexpr std::string_view LABEL_COOK = "余詰";
constexpr std::string_view LABEL_NOT_UNIQUE = "非限定";
constexpr std::string_view LABEL_DETOUR = "迂回";

// The examined alternatives are listed after the move; continuation lines
// start under the list.
constexpr std::string_view LIST_INDENT = "\t\t　";
constexpr int LIST_WIDTH_LIMIT = 53;
// A move heading wider than this does not need the tab to reach the list.
constexpr int HEADING_WIDTH_LIMIT = 14;

// Columns taken by a CP932 text: a double-byte character counts 2.
int displayWidth(std::string_view text) {
    int width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (isCp932LeadByte(static_cast<unsigned char>(text[i]))) {
            width += 2;
            ++i;
        } else {
            width += 1;
        }
    }
    return width;
}

void printClosingMark() {
    std::ostream& out = consoleOut();
    if (cursorAtColumnZero()) out << LIST_INDENT;
    out << "終了" << '\n';
}

// Read by the purge of unmarked entries and by the search display.
void publishVerificationDepth(int depth) { positionTable.verificationDepth = int16_t(depth); }
void publishVerificationPly(int ply) { positionTable.verificationPly = int16_t(ply); }

bool isProofEntry(const TableEntry* e) { return e && e->proofNumber == 0 && e->disproofNumber == INFINITE_NUMBER; }

bool isBoardMove(Move m) { return m.from != 0; }
int pieceKindNibble(Move m) { return m.piece & 0x0F; }

// The move of the reference line that leads to ply p + 1.
Move referenceMoveFrom(int ply) {
    if (ply < 0 || size_t(ply) >= currentSolution.size()) return Move{};
    return currentSolution[size_t(ply)];
}

// One node of the line under verification.
struct Step {
    SearchContext& ctx;
    Position& node;
    ChildList& children;
    Move m0;
    MoveLine rest;  // the provisional rest of the line after m0
    int a;          // moves of the line from this node, m0 included
    bool nested;

    bool attackerNode() const { return node.sideToMove == ctx.attackerSide; }
    bool defenderNode() const { return node.sideToMove == ctx.defenderSide; }
    MoveLine unverified() const { return withMoveInFront(m0, rest); }
};

// The walk to the next node of the line: c (the node after m0) is verified
// with the rest, after notice has been printed; at the last move only the
// closing mark. The node then records itself when the walk below stopped.
MoveLine walkOn(Step& s, std::string_view notice, std::optional<int> depthToPublish) {
    Position* c = childWithMove(s.children, s.m0);
    MoveLine verifiedRest = s.rest;
    if (s.a > 1 && c) {
        if (notice.empty())
            printClosingMark();
        else
            consoleOut() << notice << '\n';
        if (depthToPublish) publishVerificationDepth(*depthToPublish);
        verifiedRest = verifySolution(s.ctx, *c, s.rest, false);
    } else {
        // The last move, or a move that is not legal here: nothing below
        // to verify.
        printClosingMark();
    }
    if (c) s.node.searchStatus = c->searchStatus;
    savePath(s.ctx, s.node);
    return withMoveInFront(s.m0, verifiedRest);
}

// ---- the main-line defence check ----

// A search of this node stopped: the check is to be taken up again here.
MoveLine stopMainLineCheck(Step& s) {
    s.node.searchStatus = STATUS_INTERRUPTED;
    s.ctx.savedMove = s.m0;
    s.ctx.savedPly = s.node.ply;
    return s.unverified();
}

// Whether some other defence may last longer than a mate in a - 3 (an
// entry shows every other defence mated sooner).
bool otherDefenceMayLastLonger(Step& s) {
    const int16_t shorter = int16_t(s.a - 3);
    for (Position& x : s.children) {
        if (x.lastMove == s.m0) continue;
        const TableEntry* e = lookup(s.ctx, x, shorter);
        if (!(isProofEntry(e) && e->length < shorter)) return true;
    }
    return false;
}

enum class Outcome { Done, Stopped };

// Searches a copy of pos at depth; the copy is returned for its numbers.
std::unique_ptr<Position> searchCopy(SearchContext& ctx, const Position& pos, int depth) {
    auto copy = std::make_unique<Position>(pos);
    const uint64_t before = ctx.nodeCount;
    invokeSearch(ctx, *copy, int16_t(depth));
    logVerificationSearch(*copy, depth, ctx.nodeCount - before);
    return copy;
}

bool stopped(const Position& p) { return p.searchStatus == STATUS_INTERRUPTED; }

// Among the other defences, one that the attacker cannot mate within a - 3
// but can within a - 1 replaces m0: the first board move, otherwise the
// drop of the lowest piece kind.
Outcome findReplacementDefence(Step& s, std::optional<Move>& replacement) {
    const int a = s.a;
    for (Position& x : s.children) {
        if (x.lastMove == s.m0) continue;
        if (isProofEntry(lookup(s.ctx, x, int16_t(a - 3)))) continue;
        const auto quick = searchCopy(s.ctx, x, a - 3);
        if (stopped(*quick)) return Outcome::Stopped;
        if (quick->proofNumber == 0) continue;
        publishVerificationDepth(a);
        publishVerificationPly(x.ply);
        purgeUnmarkedEntries();
        purgeMarkedEntries();
        const auto full = searchCopy(s.ctx, x, a - 1);
        if (stopped(*full)) return Outcome::Stopped;
        if (full->proofNumber != 0) continue;
        const Move m = x.lastMove;
        if (isBoardMove(m)) {
            replacement = m;
            break;
        }
        if (!replacement || pieceKindNibble(m) < pieceKindNibble(*replacement)) replacement = m;
    }
    return Outcome::Done;
}

// The main-line defence check. A result is the node's final answer; none
// means the examination goes on with the alternatives.
std::optional<MoveLine> checkMainLineDefence(Step& s) {
    SearchContext& ctx = s.ctx;
    if (ctx.resuming && !(ctx.subPhase == SUBPHASE_MAIN_LINE_DEFENCE && ctx.savedPly == s.node.ply))
        return std::nullopt;
    ctx.resuming = 0;
    ctx.subPhase = SUBPHASE_MAIN_LINE_DEFENCE;
    std::optional<Move> replacement;

    const int a = s.a;
    if (s.nested || !s.defenderNode() || a <= 3 || s.children.size() < 2) return std::nullopt;
    if (!otherDefenceMayLastLonger(s)) return std::nullopt;
    Position* after = childWithMove(s.children, s.m0);
    if (!after || generateLegalMoves(*after) <= 0) return std::nullopt;

    const int depth = problem.cookCheck && a - 2 >= problem.cookDepth ? problem.cookDepth - 1 : a - 3;
    const auto h = searchCopy(ctx, *after, depth);
    if (stopped(*h)) return stopMainLineCheck(s);
    if (h->proofNumber != 0) return std::nullopt;

    ++runFindings.changedDefences;
    consoleOut() << "変別検出！ 代替手を探しています..." << std::flush;
    if (findReplacementDefence(s, replacement) == Outcome::Stopped) return stopMainLineCheck(s);
    if (!replacement) {
        consoleOut() << "代替手が見つかりません。\nこの解は正しくないと思われるので、検討を中断します。" << '\n';
        return s.unverified();
    }

    consoleOut() << "手順修正" << '\n';
    Position* t = childWithMove(s.children, *replacement);
    auto start = std::make_unique<Position>(*t);
    const MoveLine line = buildMateSolution(ctx, *start, int16_t(a - 1));
    if (stopped(*start)) {
        consoleOut() << "代替手の探索を中断します。" << '\n';
        s.node.searchStatus = STATUS_INTERRUPTED;
        return s.unverified();
    }
    markSolutionTree(ctx, *start, line);
    return verifySolution(ctx, s.node, withMoveInFront(*replacement, line), true);
}

// ---- the alternatives ----

struct Finding {
    std::string_view label;  // empty: nothing to report
    bool abandonLoop = false;
};

// The flaw found for one alternative, written to the console (yellow) and
// to the report stream.
void report(Step& s, const Position& x, std::string_view label) {
    ++(label == LABEL_COOK ? runFindings.cooks : label == LABEL_DETOUR ? runFindings.detours : runFindings.notUnique);
    std::ostream& out = consoleOut();
    const std::string number = decimalText(int32_t(x.ply)) + "手目 ";
    setTextAttribute(ATTR_YELLOW);
    newLineIfNeeded();
    out << label << "：";
    setTextAttribute(ATTR_NORMAL);
    const std::string text = formatMove(s.node, x.lastMove);
    out << number << text << '\n';
    appendToReport(s.ctx.reportStream, "\n" + std::string(label) + "：" + number + text + "\n");
}

// Every move of L (from g) agrees in its squares with the reference line.
bool followsReferenceLine(const MoveLine& line, int fromPly) {
    for (size_t k = 0; k < line.size(); ++k) {
        const size_t index = size_t(fromPly) + k;
        if (index >= currentSolution.size()) return false;
        const Move m = currentSolution[index];
        if (line[k].from != m.from || line[k].to != m.to) return false;
    }
    return true;
}

// Whether the cook line, played from g, comes back to a position of the
// reference line at the same or an earlier ply.
bool rejoinsReferenceLine(const Position& node, const Position& g, const MoveLine& cook) {
    const Position* root = &node;
    while (root->parent) root = root->parent;
    std::vector<uint64_t> mainKeys;
    mainKeys.reserve(currentSolution.size() + 1);
    auto walker = std::make_unique<Position>(*root);
    mainKeys.push_back(walker->positionKey);
    for (Move m : currentSolution) {
        makeMove(*walker, m);
        mainKeys.push_back(walker->positionKey);
    }
    *walker = g;
    for (Move m : cook) {
        makeMove(*walker, m);
        const int top = std::min<int>(walker->ply, int(mainKeys.size()) - 1);
        for (int i = top; i >= 0; --i)
            if (mainKeys[size_t(i)] == walker->positionKey) return true;
    }
    return false;
}

// The label of a cook found under the cook check: a promotion choice that
// mates as the main line does is 非限定, a cook that comes back to the
// line's positions is 迂回, anything else 余詰. A stop while a cook's line
// is being built only ends the examination of this node.
Finding examineCook(Step& s, const Position& x, Position& g) {
    SearchContext& ctx = s.ctx;
    ctx.subPhase = SUBPHASE_ATTACKER_ALTERNATIVES;
    bool promotion = false, detour = false;
    auto label = [&] {
        return Finding{promotion ? LABEL_NOT_UNIQUE : detour ? LABEL_DETOUR : LABEL_COOK};
    };
    if (g.proofNumber != 0) return Finding{};

    for (const Position* p = &s.node; p; p = p->parent)
        if (p->positionKey == g.positionKey) {
            detour = true;
            return label();
        }

    const Move s0 = referenceMoveFrom(s.node.ply);
    const Move xm = x.lastMove;
    if (s0.from == 0 && xm.from == 0 && s0.piece == xm.piece) return label();

    const int a = s.a;
    MoveLine cook = buildMateSolution(ctx, g, int16_t(problem.cookDepth - g.ply));
    if (stopped(g)) {
        consoleOut() << "迂回のチェックを中止します。" << '\n';
        return Finding{{}, true};
    }

    const bool promotionChoice = xm.from == s0.from && xm.to == s0.to && xm.piece == s0.piece && xm.promote != s0.promote;
    if (promotionChoice) {
        if (int(cook.size()) == a - 1) {
            promotion = true;
            return label();
        }
        if (int(cook.size()) > a) {
            const auto shorter = searchCopy(ctx, g, a - 1);
            if (stopped(*shorter)) {
                consoleOut() << "成・生非限定のチェックを中止します。" << '\n';
                return Finding{{}, true};
            }
            if (shorter->proofNumber == 0) {
                cook = buildMateSolution(ctx, g, int16_t(a - 1));
                if (stopped(g)) {
                    consoleOut() << "成・生非限定のチェックを中止します。" << '\n';
                    return Finding{{}, true};
                }
                if (int(cook.size()) == a - 1) {
                    promotion = followsReferenceLine(cook, g.ply);
                    if (promotion) return label();
                }
            }
        }
    }

    if (int(cook.size()) > a && rejoinsReferenceLine(s.node, g, cook)) detour = true;
    return label();
}

Finding judge(Step& s, const Position& x, Position& g, bool cookMode) {
    if (s.defenderNode()) {
        if (s.a == 1 || s.a == 2 || g.disproofNumber == 0) return Finding{LABEL_NOT_UNIQUE};
        return Finding{};
    }
    if (cookMode) return examineCook(s, x, g);
    if (g.proofNumber != 0) return Finding{};
    return Finding{problem.cookCheck ? LABEL_COOK : LABEL_NOT_UNIQUE};
}

// Every other move of the side to move, in expansion order. On a resume
// only the move whose search was stopped is taken up again; the search
// clears resuming when it has replayed its path, and the moves after it
// are examined as usual.
Outcome examineAlternatives(Step& s) {
    SearchContext& ctx = s.ctx;
    Position& node = s.node;
    const bool attacker = s.attackerNode();
    if (!ctx.resuming) ctx.subPhase = attacker ? SUBPHASE_ATTACKER_ALTERNATIVES : SUBPHASE_DEFENDER_ALTERNATIVES;
    publishVerificationDepth(attacker ? s.a : s.a - 2);
    publishVerificationPly(node.ply);
    if (attacker) purgeMarkedEntries();

    const bool cookMode = attacker && problem.cookCheck && problem.cookDepth >= s.a;
    std::ostream& out = consoleOut();
    int width = 0;
    for (Position& x : s.children) {
        if (x.lastMove == s.m0) continue;
        if (ctx.resuming && !(node.ply == ctx.savedPly && x.lastMove == ctx.savedMove)) continue;

        if (cursorAtColumnZero()) {
            out << LIST_INDENT;
            width = 0;
        }
        const std::string text = formatMove(node, x.lastMove);
        out << text;
        width += displayWidth(text);
        if (width > LIST_WIDTH_LIMIT) {
            out << '\n';
            width = 0;
        }
        if (ctx.resuming) out << '\n';
        out << std::flush;

        const int depth = !attacker ? s.a - 3 : cookMode ? problem.cookDepth - x.ply : s.a - 1;
        const auto g = searchCopy(ctx, x, depth);
        if (stopped(*g)) {
            if (!ctx.resuming) {
                ctx.savedPly = node.ply;
                ctx.savedMove = x.lastMove;
                ctx.resuming = 1;
            }
            node.searchStatus = STATUS_INTERRUPTED;
            return Outcome::Stopped;
        }

        const Finding f = judge(s, x, *g, cookMode);
        if (f.abandonLoop) break;
        if (!f.label.empty()) {
            report(s, x, f.label);
            width = 0;
        }
    }
    return Outcome::Done;
}

}  // namespace

MoveLine verifySolution(SearchContext& ctx, Position& node, MoveLine line, bool nested) {
    if (line.empty()) return {};

    // What a resumed walk passes on its way down: one record per level, and
    // the child list of the level above.
    if (!resumePath.empty()) resumePath.pop_front();
    if (node.ply > 0 && !ctx.savedChildLists.empty()) ctx.savedChildLists.pop_front();
    if (ctx.resuming && ctx.savedPly == 0 && isNoMove(line.front())) line.erase(line.begin());
    if (line.empty()) return {};

    ChildList children;
    ChildListLink link{node};
    Step s{ctx, node, children, line.front(), MoveLine(line.begin() + 1, line.end()), int(line.size()), nested};

    const std::string heading = decimalText(int32_t(node.ply + 1)) + "手目" + formatMove(node, s.m0);
    consoleOut() << heading << (displayWidth(heading) > HEADING_WIDTH_LIMIT ? "：" : "\t：") << std::flush;

    const int r = expandNode(ctx, node, &children);
    if (r > 0 && removeFutileInterpositions(ctx, node, children, int16_t(s.a)).interrupted)
        return stopMainLineCheck(s);
    if (r <= 0 || children.empty()) {
        classifyLeaf(node, r, int16_t(s.a));
        return {s.m0};
    }

    const Move composer = composerMoveAt(ctx, node.ply);
    if (ctx.forceComposerLine && !isNoMove(composer) && composer == s.m0)
        return walkOn(s, "作意強制", std::nullopt);
    if (ctx.resuming && node.ply < ctx.savedPly) return walkOn(s, "検討済", s.a);
    if (children.size() == 1) return walkOn(s, {}, s.a - 1);

    purgeUnmarkedEntries();
    if (std::optional<MoveLine> settled = checkMainLineDefence(s)) return *settled;
    if (examineAlternatives(s) == Outcome::Stopped) return s.unverified();
    return walkOn(s, {}, s.a);
}
