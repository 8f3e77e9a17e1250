#include "driver/suspend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/console.h"
#include "driver/keyboard.h"
#include "driver/notation.h"
#include "driver/problem_header.h"
#include "driver/solve.h"
#include "driver/suspend_storage.h"
#include "position/attacks.h"
#include "position/hash_keys.h"
#include "position/movegen.h"
#include "position/moves.h"
#include "search/futile_interposition.h"
#include "search/search_context.h"

bool suspendFileWritten = false;
bool suspendSaveFailed = false;
bool suspendFileResumed = false;
int32_t resumedElapsedSeconds = 0;
std::time_t runStartTime = 0;

namespace {

// A file that is closed when its handle goes.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

// ---- writing ----

// Appends little-endian fields to a stream and remembers the first failure.
struct FieldWriter {
    std::FILE* file;
    bool ok = true;

    void bytes(const void* data, size_t n) {
        if (ok && n > 0 && std::fwrite(data, 1, n, file) != n) ok = false;
    }
    template <typename T>
    void value(T v) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes(&v, sizeof v);  // the machine is little-endian, as the file is
    }
};

bool failurePresent(const SearchContext& ctx) {
    return ctx.refutedPosition.lastMove.from != 0 || ctx.refutedPosition.lastMove.to != 0;
}

// The file begins with this mark. Files of the earliest builds have none:
// their tables were computed under a rule that counted every interposition,
// and must not be resumed under the present one. Version 02 did not name
// its problem, and a file of another problem with the same settings was
// taken up. A change of the format or of what the table means changes the
// version digits.
constexpr char SUSPEND_FILE_MARK[8] = {'K', 'V', 'S', 'U', 'S', 'P', '0', '3'};

// Everything before the table. The problem is named by the key of its
// initial position (board, hands, side to move) and its move count.
void writeHead(FieldWriter& w, const Position& initial, const SearchContext& ctx, const PositionTable& t,
               int32_t elapsed) {
    w.bytes(SUSPEND_FILE_MARK, sizeof SUSPEND_FILE_MARK);
    w.value<uint64_t>(initial.positionKey);
    w.value<int16_t>(problem.moveCount);
    w.value<int32_t>(elapsed);
    w.value<uint32_t>(ruleSwitches.RuleFlags);
    w.value<int32_t>(ruleSwitches.restrictionKind);
    w.value<uint8_t>(ruleSwitches.checkRequired);
    w.value<uint8_t>(ruleSwitches.dropPawnMateAllowed);
    w.value<uint32_t>(uint32_t(t.capacity));
    w.value<uint32_t>(uint32_t(t.usedCount));
    w.value<uint32_t>(uint32_t(t.peakUsed));
    w.value<int32_t>(t.maxProbesUnresolved);
    w.value<int32_t>(t.maxProbesProof);
    w.value<int32_t>(t.maxProbesDisproof);
    w.value<int16_t>(t.verificationDepth);
    w.value<int16_t>(t.verificationPly);
    w.value<int32_t>(t.generation);
    w.value<int32_t>(t.previousGeneration);
    w.value<int32_t>(ctx.phase);
    w.value<int32_t>(ctx.subPhase);
    w.value<int16_t>(ctx.resumePly);
    w.value<Move>(ctx.resumeMove);
    w.value<int16_t>(ctx.savedPly);
    w.value<Move>(ctx.savedMove);
    w.value<uint64_t>(ctx.nodeCount);
    w.value<int16_t>(ctx.deepestPlyOverall);
    w.value<int16_t>(ctx.solutionLength);
    w.value<int32_t>(ctx.maxProofNumber);
    w.value<int32_t>(ctx.maxDisproofNumber);
    w.value<int32_t>(ctx.maxLevel);
    w.value<uint64_t>(currentSolution.size());
    if (ctx.phase >= PHASE_SHORTER_MATE) w.bytes(currentSolution.data(), currentSolution.size() * sizeof(Move));
    w.value<uint8_t>(ctx.followIntendedLine);
    const bool failure = failurePresent(ctx);
    w.value<uint8_t>(failure ? 1 : 0);
    if (failure) w.value<Position>(ctx.refutedPosition);
    w.value<uint64_t>(resumePath.size());
    for (const ResumeRecord& r : resumePath) w.value<ResumeRecord>(r);
    w.value<uint64_t>(ctx.savedChildLists.size());
    for (const ChildList& list : ctx.savedChildLists) {
        w.value<uint64_t>(list.size());
        w.bytes(list.data(), list.size() * sizeof(Position));
    }
}

// For the tests (KELVARO_TEST_SAVE_WAIT set): the save waits here, its
// temporary file half written, for the signal that ends the run; a point
// that is the same on every machine.
void waitHereWhenTestAsks(std::FILE* file) {
    if (!std::getenv("KELVARO_TEST_SAVE_WAIT")) return;
    std::fflush(file);
    for (;;) ::pause();
}

// What the folder holds after a save that was not made: the file of an
// earlier save, untouched, or none.
std::string whatRemains(const std::string& name) {
    return isRegularFile(name) ? "以前の待避ファイルはそのまま残っています" : "待避ファイルは作成されていません";
}

// Writes the new file beside the old one and renames it over the old one
// only when it is complete and on disk, so an interrupted or failed write
// never costs the previous file.
bool writeAtomically(const std::string& name, const Position& initial, int32_t elapsed) {
    Replacement replacement;
    if (!beginReplacement(replacement, name)) {
        consoleOut() << "待避用のファイルが開けません" << '\n' << whatRemains(name) << '\n' << std::flush;
        return false;
    }
    consoleOut() << "\n待避ファイル作成中... しばらくお待ちください\n" << std::flush;
    FieldWriter w{replacement.file};
    writeHead(w, initial, searchContext, positionTable, elapsed);
    waitHereWhenTestAsks(replacement.file);
    w.bytes(positionTable.entries, positionTable.capacity * sizeof(TableEntry));
    const bool ok = w.ok && commitReplacement(replacement);
    if (!w.ok) abandonReplacement(replacement);
    if (!ok) consoleOut() << "待避ファイルを書き込めませんでした。" << whatRemains(name) << '\n' << std::flush;
    return ok;
}

// ---- reading ----

// Reads fields from a file whose size is known, so that no count can ask
// for more than the file holds.
struct FieldReader {
    std::FILE* file;
    uint64_t remaining;
    bool ok = true;

    bool bytes(void* data, uint64_t n) {
        if (!ok || n > remaining) return ok = false;
        if (n > 0 && std::fread(data, 1, n, file) != n) return ok = false;
        remaining -= n;
        return true;
    }
    template <typename T>
    T value() {
        T v{};
        bytes(&v, sizeof v);
        return v;
    }
    // A count of elements of the given size that the rest of the file can hold.
    bool count(uint64_t& n, uint64_t elementSize) {
        n = value<uint64_t>();
        return ok && n <= remaining / elementSize;
    }
};

struct SavedFigures {
    uint64_t problemKey;
    int16_t moveCount;
    int32_t elapsed;
    uint32_t rules;
    int32_t restriction;
    uint8_t checkObligation;
    uint8_t pawnDrop;
    uint32_t capacity, used, peak;
    int32_t retryMax, proofRetryMax, disproofRetryMax;
    int16_t verificationDepth, verificationPly;
    int32_t generation, previousGeneration;
    int32_t phase, subPhase;
    int16_t snapshotPly;
    Move snapshotMove;
    int16_t savedPly;
    Move savedMove;
    uint64_t nodeCount;
    int16_t deepestDepth, solutionLength;
    int32_t maxProofNumber, maxDisproofNumber, searchLevel;
};

struct SavedState {
    SavedFigures f{};
    MoveLine solution;
    uint8_t followFlag = 0;
    bool failurePresent = false;
    Position failurePosition{};
    std::vector<ResumeRecord> path;
    std::list<ChildList> lists;
};

void readFigures(FieldReader& r, SavedFigures& f) {
    f.problemKey = r.value<uint64_t>();
    f.moveCount = r.value<int16_t>();
    f.elapsed = r.value<int32_t>();
    f.rules = r.value<uint32_t>();
    f.restriction = r.value<int32_t>();
    f.checkObligation = r.value<uint8_t>();
    f.pawnDrop = r.value<uint8_t>();
    f.capacity = r.value<uint32_t>();
    f.used = r.value<uint32_t>();
    f.peak = r.value<uint32_t>();
    f.retryMax = r.value<int32_t>();
    f.proofRetryMax = r.value<int32_t>();
    f.disproofRetryMax = r.value<int32_t>();
    f.verificationDepth = r.value<int16_t>();
    f.verificationPly = r.value<int16_t>();
    f.generation = r.value<int32_t>();
    f.previousGeneration = r.value<int32_t>();
    f.phase = r.value<int32_t>();
    f.subPhase = r.value<int32_t>();
    f.snapshotPly = r.value<int16_t>();
    f.snapshotMove = r.value<Move>();
    f.savedPly = r.value<int16_t>();
    f.savedMove = r.value<Move>();
    f.nodeCount = r.value<uint64_t>();
    f.deepestDepth = r.value<int16_t>();
    f.solutionLength = r.value<int16_t>();
    f.maxProofNumber = r.value<int32_t>();
    f.maxDisproofNumber = r.value<int32_t>();
    f.searchLevel = r.value<int32_t>();
}

bool isWellFormedMove(Move m) {
    if (isNoMove(m)) return true;
    if (m.from != 0 && !isBoardSquare(m.from)) return false;
    return isBoardSquare(m.to) && m.piece >= 17 && m.piece <= 47 && m.promote <= 1;
}

// The line must be playable from the initial position, move by legal move.
bool isLegalLine(const Position& initial, const MoveLine& line) {
    if (line.size() >= MAX_PLY_KEYS) return false;
    auto pos = std::make_unique<Position>(initial);
    bool legal = true;
    for (Move m : line) {
        const int n = generateLegalMoves(*pos);
        bool found = false;
        for (int i = 0; i < n && !found; ++i) found = moveBuffer()[i] == m;
        if (!found) {
            legal = false;
            break;
        }
        makeMove(*pos, m);
    }
    return legal;
}

// The run time is added up over the starts of one problem, one after the
// other: 2^30 seconds (34 years) is beyond any run, and leaves room for as
// much again before the sum with a start's own time leaves 32 bits.
constexpr int32_t MAX_SAVED_SECONDS = int32_t(1) << 30;
// A position costs the search a move generation and table probes at least:
// this program searches some hundreds of thousands a second, and a
// thousand million is out of any machine's reach. The second added to the
// file's covers the starts' fractions of a second, each start being
// counted in whole seconds.
constexpr uint64_t MAX_POSITIONS_PER_SECOND = 1'000'000'000;

// Times and counts that no run produces: a file that holds them is damaged
// (or made up), and the report would show them as the run's.
bool runFiguresArePossible(const SavedFigures& f) {
    if (f.elapsed < 0 || f.elapsed > MAX_SAVED_SECONDS) return false;
    return f.nodeCount <= (uint64_t(f.elapsed) + 1) * MAX_POSITIONS_PER_SECOND;
}

bool figuresArePlausible(const SavedFigures& f) {
    const bool phase = f.phase == PHASE_SOLVING || f.phase == PHASE_SHORTER_MATE || f.phase == PHASE_VERIFYING;
    const bool generations = f.generation >= 1 && f.generation <= 15 && f.previousGeneration >= 0 &&
                             f.previousGeneration <= 15;
    const bool counts = f.used <= f.capacity && f.peak <= f.capacity;
    return phase && generations && counts && f.retryMax >= 0 && f.retryMax < STORE_PROBE_LIMIT &&
           f.proofRetryMax >= 0 && f.proofRetryMax < STORE_PROBE_LIMIT && f.disproofRetryMax >= 0 &&
           f.disproofRetryMax < STORE_PROBE_LIMIT && isWellFormedMove(f.snapshotMove) && isWellFormedMove(f.savedMove) &&
           f.savedPly >= 0 && f.savedPly < MAX_PLY_KEYS;
}

// Reads everything before the table; reason names the first fault found.
bool readSavedState(FieldReader& r, SavedState& s, const Position& initial, std::string& reason) {
    uint64_t n = 0;
    if (!r.count(n, sizeof(Move)) || n >= MAX_PLY_KEYS) return reason = "解手順", false;
    if (s.f.phase >= PHASE_SHORTER_MATE) {
        s.solution.resize(n);
        if (!r.bytes(s.solution.data(), n * sizeof(Move)) || !isLegalLine(initial, s.solution))
            return reason = "解手順", false;
    }
    s.followFlag = r.value<uint8_t>();
    const uint8_t failure = r.value<uint8_t>();
    if (!r.ok || s.followFlag > 1 || failure > 1) return reason = "手順指定", false;
    s.failurePresent = failure == 1;
    if (s.failurePresent) {
        if (!r.bytes(&s.failurePosition, sizeof(Position)) || !isPlausiblePosition(s.failurePosition))
            return reason = "不詰局面", false;
        s.failurePosition.parent = nullptr;
        s.failurePosition.children = nullptr;
    }
    if (!r.count(n, sizeof(ResumeRecord))) return reason = "再開手順", false;
    s.path.resize(n);
    for (ResumeRecord& rec : s.path)
        if (!r.bytes(&rec, sizeof rec) || !isWellFormedMove(rec.lastMove)) return reason = "再開手順", false;
    if (!r.count(n, sizeof(uint64_t))) return reason = "局面リスト", false;
    for (uint64_t i = 0; i < n; ++i) {
        uint64_t size = 0;
        if (!r.count(size, sizeof(Position))) return reason = "局面リスト", false;
        ChildList& list = s.lists.emplace_back(size);
        for (Position& p : list) {
            if (!r.bytes(&p, sizeof p) || !isPlausiblePosition(p)) return reason = "局面リスト", false;
            // Links of another run mean nothing here; the resumed search
            // links every restored child to its node.
            p.parent = nullptr;
            p.children = nullptr;
        }
    }
    return true;
}

void applySavedState(SavedState& s, PositionTable& t) {
    const SavedFigures& f = s.f;
    resumedElapsedSeconds = f.elapsed;
    t.usedCount = f.used;
    t.peakUsed = f.peak;
    t.maxProbesUnresolved = f.retryMax;
    t.maxProbesProof = f.proofRetryMax;
    t.maxProbesDisproof = f.disproofRetryMax;
    t.verificationDepth = f.verificationDepth;
    t.verificationPly = f.verificationPly;
    t.generation = f.generation;
    t.previousGeneration = f.previousGeneration;
    SearchContext& ctx = searchContext;
    ctx.phase = f.phase;
    ctx.subPhase = f.subPhase;
    ctx.resumePly = f.snapshotPly;
    ctx.resumeMove = f.snapshotMove;
    ctx.savedPly = f.savedPly;
    ctx.savedMove = f.savedMove;
    ctx.nodeCount = f.nodeCount;
    ctx.deepestPlyOverall = f.deepestDepth;
    ctx.solutionLength = f.solutionLength;
    ctx.maxProofNumber = f.maxProofNumber;
    ctx.maxDisproofNumber = f.maxDisproofNumber;
    ctx.maxLevel = f.searchLevel;
    if (f.phase >= PHASE_SHORTER_MATE) currentSolution.insert(currentSolution.end(), s.solution.begin(), s.solution.end());
    suspendedSolution.insert(suspendedSolution.end(), currentSolution.begin(), currentSolution.end());
    ctx.followIntendedLine = s.followFlag;
    if (s.failurePresent) ctx.refutedPosition = s.failurePosition;
    resumePath.insert(resumePath.end(), s.path.begin(), s.path.end());
    ctx.savedChildLists.splice(ctx.savedChildLists.end(), s.lists);
}

// The end of every refusal to take the file up, once its text is out.
void endRefusal() {
    consoleOut() << "\nEnterキーを押して終了してください..." << std::flush;
    waitForKeySilently();
}

void refuseResume(const std::string& message) {
    consoleOut() << '\n' << message;
    endRefusal();
}

// A refusal that names the suspend file: the name as the user typed it,
// then what is wrong with the file.
void refuseResumeOfFile(const std::string& whatIsWrong) {
    consoleOut() << '\n' << "エラー：待避ファイル " << asTyped(suspendFileName) << whatIsWrong;
    endRefusal();
}

// A run whose remarks name no table size takes a file up at the size it was
// saved with, so that a file saved under an earlier default stays usable.
// Only a size a run makes (whole steps of 20 MB) and the file can hold is
// taken; the table is made afresh before the file's entries are read into
// it, and a machine that cannot hold it gets the table it had back.
void adoptSavedTableSize(const SavedFigures& f, PositionTable& t, uint64_t bytesLeft) {
    const uint64_t capacity = f.capacity, entries = capacity + 1;
    if (problem.memoryMB != 0 || capacity == t.capacity) return;
    if (entries % ENTRIES_PER_20MB != 0 || bytesLeft < capacity * sizeof(TableEntry)) return;
    const uint64_t previous = t.capacity;
    if (!allocatePositionTable(capacity)) allocatePositionTable(previous);
}

// The conditions under which the saved state belongs to this problem: its
// settings, the problem itself, the table's size.
bool matchesCurrentProblem(const SavedFigures& f, const PositionTable& t, const Position& initial) {
    const char* mismatch = nullptr;
    if (f.rules != ruleSwitches.RuleFlags)
        mismatch = "エラー：待避ファイルと現ファイルでルールが異なります";
    else if (f.restriction != ruleSwitches.restrictionKind)
        mismatch = "エラー：待避ファイルと現ファイルで条件が異なります";
    else if (f.checkObligation != ruleSwitches.checkRequired)
        mismatch = "エラー：待避ファイルと現ファイルで王手義務の条件が異なります";
    else if (f.pawnDrop != ruleSwitches.dropPawnMateAllowed)
        mismatch = "エラー：待避ファイルと現ファイルで「打歩」の条件が異なります";
    else if (f.problemKey != initial.positionKey)
        mismatch = "エラー：待避ファイルと現ファイルで初形が異なります";
    else if (f.moveCount != problem.moveCount)
        mismatch = "エラー：待避ファイルと現ファイルで手数が異なります";
    else if (uint64_t(f.capacity) != t.capacity)
        mismatch = "エラー：待避ファイルと現ファイルでメモリ指定が異なります";
    if (mismatch) refuseResume(mismatch);
    return mismatch == nullptr;
}

void refuseDamaged(const std::string& what) {
    refuseResumeOfFile(" は壊れているか、この問題のものではありません（" + what +
                       "）。\n待避ファイルを削除するか名前を変えてから、改めて実行してください");
}

// The move at which verification resumes, written from the position where
// it is played (the saved solution replayed up to that ply).
std::string savedMoveText(const Position& initial, const SearchContext& ctx) {
    if (isNoMove(ctx.savedMove)) return "";
    auto pos = std::make_unique<Position>(initial);
    for (size_t i = 0; i < currentSolution.size() && i < size_t(ctx.savedPly); ++i) makeMove(*pos, currentSolution[i]);
    return formatMove(*pos, ctx.savedMove);
}

}  // namespace

bool isPlausiblePosition(const Position& pos) {
    for (int cell = 0; cell < BOARD_CELLS; ++cell) {
        const int sq = cell - 16, code = pos.board[cell];
        if (!isBoardSquare(sq)) {
            if (code != WALL) return false;
            continue;
        }
        const bool piece = (code >= 17 && code <= 31) || (code >= 33 && code <= 47);
        if (code != EMPTY && code != WALL && !piece) return false;
    }
    for (int side : {ATTACKER, DEFENDER}) {
        const int king = pos.kingSquareOf(side), kingCode = side | KING;
        if (king != 0 && (!isBoardSquare(king) || pos.cell(king) != kingCode)) return false;
        if (king == 0)
            for (int sq = SQUARE_MIN; sq <= SQUARE_MAX; ++sq)
                if (isBoardSquare(sq) && pos.cell(sq) == kingCode) return false;
    }
    int attackerPieces = 0, defenderPieces = 0;
    for (int sq = SQUARE_MIN; sq <= SQUARE_MAX; ++sq) {
        const int code = isBoardSquare(sq) ? pos.cell(sq) : EMPTY;
        if (code == EMPTY) continue;
        if (code & ATTACKER) ++attackerPieces;
        if (code & DEFENDER) ++defenderPieces;
    }
    if (attackerPieces != pos.attackerBoardCount || defenderPieces != pos.defenderBoardCount) return false;
    int attackerHand = 0, defenderHand = 0;
    for (int code = 0; code < HAND_SLOTS; ++code) {
        const int n = pos.hand[code];
        const bool used = (code >= 17 && code <= 23) || (code >= 33 && code <= 39);
        // A hand may grow by every piece on the board; the keys have rows up to 299.
        if (n < 0 || (!used && n != 0) || n > MAX_HAND_COUNT_KEYS - 82) return false;
        if (code <= 23) attackerHand += n;
        if (code >= 33) defenderHand += n;
    }
    if (attackerHand != pos.attackerHandCount || defenderHand != pos.defenderHandCount) return false;
    if (pos.ply < 0 || pos.ply >= MAX_PLY_KEYS) return false;
    if (pos.sideToMove != ATTACKER && pos.sideToMove != DEFENDER) return false;
    if (pos.attackMapsPending != 0) return false;  // never written so
    if (!isWellFormedMove(pos.lastMove)) return false;

    uint64_t boardKey = 0, handKey = 0;
    for (int file = 1; file <= 9; ++file)
        for (int rank = 1; rank <= 9; ++rank) {
            const int sq = makeSquare(file, rank);
            boardKey ^= hashTables.boardKeys[boardKeyRow(pos.cell(sq))][sq];
        }
    for (int code = 17; code <= 39; ++code)
        for (int i = 1; i <= pos.hand[code]; ++i) handKey ^= hashTables.handKeys[code - 17][i];
    // A candidate of the futile-interposition rule carries the mark of its
    // square in its key.
    if (pos.interpositionRole > INTERPOSITION_FREE_CAPTURE) return false;
    const bool candidate = pos.interpositionRole == INTERPOSITION_CANDIDATE;
    if (candidate ? !isBoardSquare(pos.interpositionSquare) : pos.interpositionSquare != 0) return false;
    const uint64_t mark = candidate ? candidateMark(pos.interpositionSquare) : 0;
    if (boardKey != pos.boardKey || handKey != pos.handKey ||
        (withSideBit(boardKey ^ handKey, pos.sideToMove) ^ mark) != pos.positionKey)
        return false;
    auto fresh = std::make_unique<Position>(pos);
    computeAttackMaps(*fresh);
    return std::memcmp(fresh->attackerAttacks, pos.attackerAttacks, sizeof pos.attackerAttacks) == 0 &&
           std::memcmp(fresh->defenderAttacks, pos.defenderAttacks, sizeof pos.defenderAttacks) == 0;
}

namespace {

// Held from the first use of the problem's suspend file (the offer to take
// it up, or the first save) to the end of the run.
SuspendLock suspendLock;

// Takes the lock of the problem's suspend file; false when another run
// holds it, after a message that names that run and what this one does
// instead.
bool lockSuspendFile(const char* instead) {
    long holder = 0;
    if (takeSuspendLock(suspendLock, suspendFileName, holder) != LockOutcome::HELD_BY_OTHER) return true;
    const std::string other = holder > 0 ? "別の実行（プロセスID " + decimalText(int64_t(holder)) + "）" : "別の実行";
    consoleOut() << "\n待避ファイル " << asTyped(suspendFileName) << " は" << other << "が使用中です。"
                 << instead << '\n'
                 << std::flush;
    return false;
}

// The run time to save: a start's time counts from zero even when the
// clock was set back during it.
int32_t elapsedToSave() {
    const std::time_t thisStart = std::max<std::time_t>(0, std::time(nullptr) - runStartTime);
    return int32_t(std::min<std::time_t>(resumedElapsedSeconds + thisStart, MAX_SAVED_SECONDS));
}

bool writeSuspendFileOnce(const Position& initial) {
    const PositionTable& t = positionTable;
    if (t.capacity >= SUSPENDABLE_CAPACITY_LIMIT) {
        consoleOut() << "局面表が大きすぎるため待避ファイルを作成できません（" << decimalText(t.capacity)
                     << "局面、待避できるのは" << decimalText(SUSPENDABLE_CAPACITY_LIMIT - 1) << "局面まで）" << '\n'
                     << std::flush;
        return false;
    }
    if (!lockSuspendFile("保存できません")) return false;
    // The key poller has been told to stop by the stop question; it ends
    // here, so that the signals the save holds back are held for the whole
    // run (see suspend_storage.cpp).
    stopKeyboardThread();
    return writeAtomically(suspendFileName, initial, elapsedToSave());
}

}  // namespace

bool writeSuspendFile(const Position& initial) {
    const bool written = writeSuspendFileOnce(initial);
    if (written)
        suspendFileWritten = true;
    else
        suspendSaveFailed = true;
    return written;
}

void offerSave(const Position& initial, const MoveLine& line) {
    setConsoleTitle("中断");
    if (askYesNo("\n現在の状態を保存しますか？（Y/N）：", 'Y')) {
        if (!line.empty() && &line != &currentSolution) currentSolution = line;
        writeSuspendFile(initial);
    } else {
        setConsoleTitle("検討中", asTyped(inputFileName));
    }
}

ResumeResult readSuspendFile(std::FILE* file, uint64_t size, PositionTable& table, const Position& initial) {
    FieldReader r{file, size};
    char mark[sizeof SUSPEND_FILE_MARK] = {};
    if (!r.bytes(mark, sizeof mark) || std::memcmp(mark, SUSPEND_FILE_MARK, sizeof mark) != 0) {
        refuseResumeOfFile(" は以前の版で作られたものか、待避ファイルではありません。この版では再開できません。\n"
                           "待避ファイルを削除するか名前を変えてから、改めて実行してください");
        return ResumeResult::REFUSED;
    }
    SavedState s;
    readFigures(r, s.f);
    if (!r.ok) {
        refuseDamaged("ファイルが短すぎます");
        return ResumeResult::REFUSED;
    }
    adoptSavedTableSize(s.f, table, r.remaining);
    if (!matchesCurrentProblem(s.f, table, initial)) return ResumeResult::REFUSED;
    std::string reason;
    if (!runFiguresArePossible(s.f))
        reason = "所要時間・探索局面数";
    else if (!figuresArePlausible(s.f))
        reason = "検討状態";
    if (reason.empty()) readSavedState(r, s, initial, reason);
    if (reason.empty() && r.remaining != table.capacity * sizeof(TableEntry)) reason = "局面表の大きさ";
    if (!reason.empty()) {
        refuseDamaged(reason);
        return ResumeResult::REFUSED;
    }

    applySavedState(s, table);
    if (searchContext.phase == PHASE_VERIFYING)
        consoleOut() << '\n' << decimalText(int32_t(searchContext.savedPly + 1)) << "手目"
                     << savedMoveText(initial, searchContext) << "から再開\n"
                     << std::flush;
    if (!r.bytes(table.entries, table.capacity * sizeof(TableEntry))) {
        refuseDamaged("局面表を読めませんでした");
        return ResumeResult::REFUSED;
    }
    rebuildKeyFilters();
    suspendFileResumed = true;
    return ResumeResult::RESUMED;
}

namespace {

// The suspend file when it is a regular file. It is opened without waiting
// and tested before it is read: an open of a FIFO of that name would block
// until a writer came, and the run would hang before it started.
OpenFile openRegularFile(const std::string& name, struct stat& info) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    OpenFile file(::fdopen(fd, "rb"));
    if (!file) ::close(fd);
    return file;
}

}  // namespace

ResumeResult resumeFromSuspendFile(PositionTable& table, const Position& initial) {
    // Locked before it is opened: what is read is then the file as the
    // last run to save left it.
    if (!isRegularFile(suspendFileName)) return ResumeResult::FRESH;
    if (!lockSuspendFile("待避ファイルを使わずに検討します")) return ResumeResult::FRESH;
    struct stat info {};
    const OpenFile file = openRegularFile(suspendFileName, info);
    if (!file) return ResumeResult::FRESH;
    if (!askYesNo("\n待避ファイルがあります。これを使って再開しますか？（Y/N）", 'Y')) return ResumeResult::FRESH;
    consoleOut() << "\n待避ファイルから再開します。\n" << std::flush;
    const ResumeResult result = readSuspendFile(file.get(), uint64_t(info.st_size), table, initial);
    // A refused file ends the run.
    if (result == ResumeResult::REFUSED) releaseSuspendLock(suspendLock);
    return result;
}

void endSuspendFileUse(bool resumed) {
    // After a save the file is this run's own; after a failed one the file
    // the run was taken up from is the only good state there is.
    if (resumed && !suspendFileWritten && !suspendSaveFailed &&
        askYesNo("待避ファイルを削除しますか？（Y/N）：", 'Y'))
        deleteSuspendFile(suspendFileName);
    releaseSuspendLock(suspendLock);
}
