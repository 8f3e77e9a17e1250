// The result report: the text file beside the problem file to which every
// run appends one block (head, body, closing block). The driver writes the
// body through the context's stream; the head and the closing block come
// from here.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "position/position.h"
#include "search/search_context.h"

constexpr const char* PROGRAM_NAME = "Kelvaro";
constexpr const char* PROGRAM_VERSION = "1.07";

// The head of a fresh run: caption, rule line, then the diagram appended to
// the file through a stream of its own.
void writeReportHead(std::ostream& report, const std::string& fileName, const Position& initial);

// The closing block, the same text for the console and the report: time,
// positions searched, table use, the version line, the option notes and the
// ending (interruption note or check level).
std::string closingBlockText(const SearchContext& ctx, const Position& initial, int32_t checkLevel);

// "(中断：…)" without the parentheses: where the interrupted run stood.
std::string interruptionPhaseText(const SearchContext& ctx, const Position& initial);
