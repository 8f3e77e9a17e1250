#include "driver/phase_log.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "position/usi_move.h"

namespace {

// The file the log goes to; null when there is none, and the line is then
// not even written out.
const char* phaseLogPath() {
    const char* path = std::getenv("KELVARO_PHASE_LOG");
    return path && *path ? path : nullptr;
}

void appendLine(const char* path, const std::string& line) {
    std::ofstream log(path, std::ios::app);
    log << line << '\n';
}

}  // namespace

void logPhaseEnd(const SearchContext& ctx, const char* phase) {
    const char* path = phaseLogPath();
    if (!path) return;
    appendLine(path, std::string(phase) + '\t' + std::to_string(ctx.nodeCount));
}

void logVerificationSearch(const Position& searched, int depth, uint64_t positions) {
    const char* path = phaseLogPath();
    if (!path) return;
    const char* result = searched.proofNumber == 0 ? "mate" : searched.disproofNumber == 0 ? "nomate" : "open";
    appendLine(path, "search\t" + std::to_string(searched.ply) + '\t' + usiMoveText(searched.lastMove) + '\t' +
                         std::to_string(depth) + '\t' + std::to_string(positions) + '\t' + result);
}
