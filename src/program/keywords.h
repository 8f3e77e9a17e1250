// The class ("分類：") and remark ("備考：") keywords of a problem file: they
// set RuleFlags, the condition fields and the option fields of `problem`.
// Each runs as soon as its line is read, so it sees the header as far as
// the file has set it.
#pragma once

#include <string_view>

// classText: the text after "分類：". Also replaces problem.className by the
// canonical class name.
void interpretClass(std::string_view classText);

// remarkLine: the whole "備考：" line.
void interpretOptions(std::string_view remarkLine);
