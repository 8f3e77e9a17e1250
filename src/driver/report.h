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

// part as a percentage of whole, one decimal ("2.3"; "0.0" for no whole).
std::string percentText(uint64_t part, uint64_t whole);

// The report's size before this run writes to it (0 when there is none).
uint64_t reportSizeBefore(const std::string& fileName);
// The report of a problem file in UTF-8 (a .kifu) is UTF-8 too: what this
// run appended from `offset` on, written in CP932 as all report text is, is
// converted once the run has closed its report. The file is replaced whole
// through a temporary file, so a failure (told as a lost report) leaves it
// as it was. Nothing is done when report text was lost already, or when the
// report is not a regular file.
void convertReportToUtf8(const std::string& fileName, uint64_t offset);
// Whether a problem file's report is written in UTF-8: a .kifu file.
bool reportInUtf8(const std::string& problemFileName);

// The head of a fresh run: caption, rule line, then the diagram appended to
// the file through a stream of its own.
void writeReportHead(std::ofstream& report, const std::string& fileName, const Position& initial);

// The closing block, the same text for the console and the report: time,
// positions searched, table use, the version line, the option notes and the
// ending (interruption note or check level).
std::string closingBlockText(const SearchContext& ctx, const Position& initial, int32_t checkLevel);

// "(中断：…)" without the parentheses: where the interrupted run stood.
std::string interruptionPhaseText(const SearchContext& ctx, const Position& initial);
