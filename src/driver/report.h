// The result report: the text file beside the problem file to which every
// run appends one block (head, body, closing block). The driver writes the
// body through the context's stream; the head and the closing block come
// from here.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "position/position.h"
#include "search/search_context.h"

constexpr const char* PROGRAM_NAME = "Kelvaro";
constexpr const char* PROGRAM_VERSION = "1.07";

// Every write, flush and close of a report stream is checked. The first
// failure is told on the console, with the report's name; from then on
// nothing more goes to the report through any stream, since text after a
// gap would make the report read as whole. The run goes on with the
// console, and its exit code tells that the report is not.
bool reportTextLost();
// After writing to a report stream: false, and the stream closed, when it
// failed or report text was lost before.
bool reportStreamHolds(std::ofstream& report);
// The text written and flushed, unless report text was lost.
void appendToReport(std::ofstream& report, std::string_view text);
// Closes the stream when it is open; a failed close loses what it held.
void closeReport(std::ofstream& report);

// The head of a fresh run: caption, rule line, then the diagram appended to
// the file through a stream of its own.
void writeReportHead(std::ofstream& report, const std::string& fileName, const Position& initial);

// The closing block, the same text for the console and the report: time,
// positions searched, table use, the version line, the option notes and the
// ending (interruption note or check level).
std::string closingBlockText(const SearchContext& ctx, const Position& initial, int32_t checkLevel);

// "(中断：…)" without the parentheses: where the interrupted run stood.
std::string interruptionPhaseText(const SearchContext& ctx, const Position& initial);
