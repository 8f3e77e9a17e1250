// perft 'SFEN' DEPTH: prints perft(d) = COUNT for d = 1..DEPTH.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "position/perft.h"
#include "position/sfen.h"

namespace {

constexpr int MAX_DEPTH = 20;

int usage(const std::string& reason) {
    std::fprintf(stderr, "perft: %s (usage: perft 'SFEN' DEPTH, DEPTH 1..%d)\n", reason.c_str(), MAX_DEPTH);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return usage("expected two arguments");
    const std::string depthText = argv[2];
    if (depthText.empty() || depthText.size() > 2 || depthText.find_first_not_of("0123456789") != std::string::npos)
        return usage("bad depth '" + depthText + "'");
    const int depth = std::atoi(depthText.c_str());
    if (depth < 1 || depth > MAX_DEPTH) return usage("depth out of range");

    static Position root;
    std::string error;
    if (!setUpFromSfen(root, argv[1], error)) return usage("malformed SFEN: " + error);
    for (int d = 1; d <= depth; ++d) std::printf("perft(%d) = %llu\n", d, static_cast<unsigned long long>(perft(root, d)));
    return 0;
}
