#include "program/batch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/byte_text.h"
#include "base/console.h"
#include "base/monotonic_clock.h"
#include "base/terminal_text.h"
#include "driver/notation.h"
#include "driver/problem_header.h"
#include "driver/report.h"
#include "driver/run_findings.h"
#include "program/entry.h"
#include "search/position_table.h"
#include "search/search_context.h"

namespace {

// One line of the table. Texts are CP932 but for the file name, which is
// kept as typed.
struct BatchRow {
    std::string file;
    std::string title;
    std::string statedMoves = "-";
    std::string verdict;  // 詰, 不詰, 中断 or 失敗
    std::string foundMoves = "-";
    int32_t counts[5] = {};  // 早詰, 余詰, 変別, 非限定, 迂回
    double seconds = 0;
    std::string positions = "-";
    std::string peakTableUse = "-";
    bool failed = false;

    bool sound() const {
        return !failed && verdict == "詰" && foundMoves == statedMoves &&
               std::all_of(std::begin(counts), std::end(counts), [](int32_t c) { return c == 0; });
    }
};

const char* const COLUMN_NAMES[] = {"ファイル", "作品名", "手数", "結果",   "解の手数", "早詰",        "余詰",
                                    "変別",     "非限定", "迂回", "秒数", "探索局面数", "局面表使用率"};

volatile sig_atomic_t batchStopRequested = 0;
void onBatchStop(int) { batchStopRequested = 1; }

// Without SA_RESTART, so that the wait for a child returns to look at it.
void catchCtrlC() {
    struct sigaction action{};
    action.sa_handler = onBatchStop;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
}

bool isProblemFileName(const std::string& name) { return hasExtension(name, ".kif") || hasExtension(name, ".kifu"); }

// The problem files of a folder, by name; a file named on the command line
// is taken whatever its name.
void addProblemFiles(const std::string& path, std::vector<std::string>& files, std::vector<BatchRow>& unreadable) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
        files.push_back(path);
        return;
    }
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(path, error))
        if (entry.is_regular_file(error) && isProblemFileName(entry.path().string())) found.push_back(entry.path().string());
    if (error) {
        BatchRow row;
        row.file = path;
        row.verdict = "失敗";
        row.failed = true;
        unreadable.push_back(row);
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
}


// What the child tells the batch of its check, one line of tab-separated
// fields: verdict, found moves, stated moves, the five counts, positions,
// peak table use, title.
std::string summaryOfCheck() {
    const RunFindings& f = runFindings;
    const char* verdict = lastCheckEnd.interrupted ? "中断" : f.mateFound ? "詰" : "不詰";
    if (!lastCheckEnd.searched) verdict = "失敗";
    std::string title = problem.caption;
    std::replace(title.begin(), title.end(), '\t', ' ');
    std::ostringstream line;
    const bool stated = problem.moveCountSource != ProblemHeader::MoveCountSource::None;
    line << verdict << '\t' << (f.mateFound && f.solutionLength >= 0 ? decimalText(f.solutionLength) : "-") << '\t'
         << (stated ? decimalText(problem.statedMoveCount) : "-") << '\t' << f.shorterMates << '\t' << f.cooks
         << '\t' << f.changedDefences << '\t' << f.notUnique << '\t' << f.detours << '\t' << searchContext.nodeCount
         << '\t' << percentText(positionTable.peakUsed, positionTable.capacity) + "%" << '\t' << title << '\n';
    return line.str();
}

void readSummary(const std::string& text, BatchRow& row) {
    std::istringstream in(text);
    std::string field[11];
    for (int k = 0; k < 10; ++k) std::getline(in, field[k], '\t');
    std::getline(in, field[10]);
    if (field[0].empty()) return;
    row.verdict = field[0];
    row.foundMoves = field[1];
    row.statedMoves = field[2];
    for (int k = 0; k < 5; ++k) row.counts[k] = int32_t(std::atoi(field[3 + k].c_str()));
    row.positions = field[8];
    row.peakTableUse = field[9];
    row.title = field[10];
}

[[noreturn]] void checkInChild(const std::string& file, int summaryFd) {
    const int nothing = open("/dev/null", O_RDWR);
    if (nothing >= 0) {
        dup2(nothing, STDIN_FILENO);
        dup2(nothing, STDOUT_FILENO);
        dup2(nothing, STDERR_FILENO);
    }
    signal(SIGINT, SIG_DFL);
    const int code = checkProblemFile(&file);
    consoleOut() << std::flush;
    const std::string summary = summaryOfCheck();
    if (write(summaryFd, summary.data(), summary.size()) < 0) _exit(BATCH_FAILURE);
    _exit(code);
}

// A Ctrl-C ends the child under way (SIGTERM, so that a save under way
// removes its temporary file); the batch stops after it.
void endChildOnStop(pid_t child, bool& ended) {
    if (!batchStopRequested || ended) return;
    kill(child, SIGTERM);
    ended = true;
}

// The child's summary, read until the child closes the pipe as it ends.
std::string readSummaryOf(pid_t child, int fd, bool& ended) {
    std::string text;
    char block[4096];
    while (true) {
        const ssize_t n = read(fd, block, sizeof block);
        if (n > 0) {
            text.append(block, size_t(n));
        } else if (n < 0 && errno == EINTR) {
            endChildOnStop(child, ended);
        } else {
            return text;
        }
    }
}

int waitForChild(pid_t child, bool& ended) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
        endChildOnStop(child, ended);
    }
    return status;
}

BatchRow checkOne(const std::string& file) {
    BatchRow row;
    row.file = file;
    row.verdict = "失敗";
    row.failed = true;
    int fds[2];
    if (pipe(fds) != 0) return row;
    const int64_t start = monotonicMilliseconds();
    consoleOut() << std::flush;  // nothing of ours is left for the child to write again
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        checkInChild(file, fds[1]);
    }
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return row;
    }
    bool ended = false;
    const std::string summary = readSummaryOf(child, fds[0], ended);
    close(fds[0]);
    const int status = waitForChild(child, ended);
    row.seconds = double(monotonicMilliseconds() - start) / 1000;
    readSummary(summary, row);
    const bool exitedWell = status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (batchStopRequested && row.verdict != "詰" && row.verdict != "不詰") row.verdict = "中断";
    row.failed = !exitedWell || row.verdict == "失敗" || row.verdict == "中断";
    return row;
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

// The fields of a row, CP932 but for the file name.
std::vector<std::string> fieldsOf(const BatchRow& row) {
    std::vector<std::string> fields = {row.file, row.title, row.statedMoves, row.verdict, row.foundMoves};
    for (int32_t c : row.counts) fields.push_back(decimalText(c));
    fields.insert(fields.end(), {secondsText(row.seconds), row.positions, row.peakTableUse});
    return fields;
}

// fileAsTyped: the first field is a file name in the terminal's encoding.
void printRow(const std::vector<std::string>& fields, bool fileAsTyped) {
    std::ostream& out = consoleOut();
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k) out << '\t';
        if (k == 0 && fileAsTyped)
            out << asTyped(fields[k]);
        else
            out << fields[k];
    }
    out << '\n';
}

// The table in UTF-8, the file name as typed.
bool writeTable(const std::vector<BatchRow>& rows) {
    std::ofstream out("kelvaro-batch.tsv", std::ios::out | std::ios::trunc | std::ios::binary);
    for (size_t k = 0; k < std::size(COLUMN_NAMES); ++k)
        out << (k ? "\t" : "") << convertText(COLUMN_NAMES[k], "UTF-8", "CP932");
    out << '\n';
    for (const BatchRow& row : rows) {
        const std::vector<std::string> fields = fieldsOf(row);
        for (size_t k = 0; k < fields.size(); ++k)
            out << (k ? "\t" : "") << (k == 0 ? fields[k] : convertText(fields[k], "UTF-8", "CP932"));
        out << '\n';
    }
    out.close();
    return bool(out);
}

void showProgress(size_t number, size_t count, const BatchRow& row) {
    if (!isatty(STDOUT_FILENO)) return;
    consoleOut() << "［" << decimalText(uint64_t(number)) << "/" << decimalText(uint64_t(count)) << "］"
                 << asTyped(row.file) << "　" << row.verdict << " " << row.foundMoves << "手 "
                 << secondsText(row.seconds) << "秒\n"
                 << std::flush;
}

}  // namespace

int runBatch(const std::vector<std::string>& paths) {
    std::vector<std::string> files;
    std::vector<BatchRow> rows;
    for (const std::string& path : paths) addProblemFiles(path, files, rows);
    if (files.empty() && rows.empty()) {
        consoleOut() << "エラー：問題ファイルがありません" << '\n';
        return BATCH_FAILURE;
    }
    catchCtrlC();
    for (size_t k = 0; k < files.size() && !batchStopRequested; ++k) {
        rows.push_back(checkOne(files[k]));
        showProgress(k + 1, files.size(), rows.back());
    }

    std::vector<std::string> names(std::begin(COLUMN_NAMES), std::end(COLUMN_NAMES));
    printRow(names, false);
    bool failed = batchStopRequested;
    bool findings = false;
    for (const BatchRow& row : rows) {
        printRow(fieldsOf(row), true);
        failed = failed || row.failed;
        findings = findings || !row.sound();
    }
    if (!writeTable(rows)) {
        consoleOut() << "出力用ファイルに書き込めませんでした：kelvaro-batch.tsv" << '\n';
        failed = true;
    }
    consoleOut() << std::flush;
    return failed ? BATCH_FAILURE : findings ? BATCH_FINDINGS : BATCH_ALL_SOUND;
}
