#include "search/table_expansion.h"

#include "search/position_table.h"

namespace {

struct TableListener final : ExpansionListener {
    void childMade(const Position& child) override { prefetchLookup(child); }
    void childDecided(const Position& child) override { store(child, 0); }
};

TableListener tableListener;

}  // namespace

int expandNode(SearchContext& ctx, Position& node, ChildList* childList, bool deferChildMaps) {
    ExpansionOptions options;
    options.deferChildMaps = deferChildMaps;
    options.keepMirrorMoves = ctx.followIntendedLine;
    options.listener = &tableListener;
    return expandNode(node, childList, options);
}
