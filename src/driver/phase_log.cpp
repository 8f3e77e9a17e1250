#include "driver/phase_log.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "position/usi_move.h"

namespace {

void appendToPhaseLog(const std::string& line) {
    const char* path = std::getenv("KELVARO_PHASE_LOG");
    if (!path || !*path) return;
    std::ofstream log(path, std::ios::app);
    log << line << '\n';
}

}  // namespace

void logPhaseEnd(const SearchContext& ctx, const char* phase) {
    appendToPhaseLog(std::string(phase) + '\t' + std::to_string(ctx.nodeCount));
}

void logVerificationSearch(const Position& searched, int depth, uint64_t positions) {
    const char* result = searched.proofNumber == 0 ? "mate" : searched.disproofNumber == 0 ? "nomate" : "open";
    appendToPhaseLog("search\t" + std::to_string(searched.ply) + '\t' + usiMoveText(searched.lastMove) + '\t' +
                     std::to_string(depth) + '\t' + std::to_string(positions) + '\t' + result);
}
