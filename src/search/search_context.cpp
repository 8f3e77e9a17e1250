#include "search/search_context.h"

std::list<ResumeRecord> resumePath;
SearchContext searchContext;
SearchObserver silentObserver;
