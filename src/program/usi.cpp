#include "program/usi.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/keyboard.h"
#include "driver/report.h"
#include "driver/table_setup.h"
#include "position/hash_keys.h"
#include "position/moves.h"
#include "position/sfen.h"
#include "position/usi_move.h"
#include "program/usi_mate.h"
#include "search/position_table.h"

namespace {

constexpr int32_t MAX_DEPTH_LIMIT = 2999;
const char* const START_POSITION = "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1";

// ---- the protocol's output ----

// Standard output as the mode found it: it carries the protocol alone.
// Whatever the layers below write on the console (a refused position, the
// table's notices) goes to standard error instead, where a GUI does not
// take it for an answer.
FILE* protocolOut = stdout;
std::mutex protocolLock;

void openProtocolChannel() {
    const int fd = dup(STDOUT_FILENO);
    FILE* out = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!out) return;
    protocolOut = out;
    dup2(STDERR_FILENO, STDOUT_FILENO);
}

// One whole line, out at once: the GUI reads the answers as they come. The
// search's info lines come from the solving thread.
void sendLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(protocolLock);
    std::fputs(line.c_str(), protocolOut);
    std::fputc('\n', protocolOut);
    std::fflush(protocolOut);
}

// ---- the commands ----

std::vector<std::string> wordsOf(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string commandName(const std::string& line) {
    const std::vector<std::string> words = wordsOf(line);
    return words.empty() ? std::string() : words[0];
}

// A line read; a go command carries its number (the first is 1).
struct Command {
    std::string line;
    uint64_t goNumber;
};

// Lines go from the reading thread to the main thread in order. A stop (or
// a quit) ends the search of the last go read before it, and is told as it
// is read, not when it is taken from the queue: the main thread is then
// inside the search it ends. A go that comes after it is not stopped, even
// when the GUI sent it before the engine could answer.
class CommandQueue {
public:
    void push(std::string line) {
        const std::string name = commandName(line);
        add(std::move(line), name == "go", name == "stop" || name == "quit");
    }
    // The end of standard input: a quit that stops nothing, so that the
    // commands given before it are answered. A script may give its
    // commands and close the input.
    void pushEndOfInput() { add("quit", false, false); }

    Command pop() {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait(lock, [this] { return !lines_.empty(); });
        Command next = std::move(lines_.front());
        lines_.pop_front();
        return next;
    }

    // The number of the go that the last stop or quit ended, 0 for none.
    std::atomic<uint64_t> stoppedGo{0};

private:
    void add(std::string line, bool go, bool stops) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (go) ++gosRead_;
            if (stops) stoppedGo = gosRead_;
            lines_.push_back({std::move(line), gosRead_});
        }
        arrived_.notify_one();
    }

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Command> lines_;
    uint64_t gosRead_ = 0;
};

void readCommands(CommandQueue& queue) {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const bool quit = commandName(line) == "quit";
        queue.push(line);
        if (quit) return;
    }
    queue.pushEndOfInput();
}

// ---- the session ----

struct Session {
    int32_t hashMB = DEFAULT_TABLE_MB;
    int32_t hashMaxMB = DEFAULT_TABLE_MB;
    int32_t depthLimit = MAX_DEPTH_LIMIT;
    bool positionSet = false;
    std::string positionRefusal = "no position was given";
    MateProblem problem{};
};

// What the machine has free now, in steps of 20 MB, and never below the
// default: a GUI offers no size that could not be had at all.
int32_t largestTableMB() {
    const int64_t available = availableMemoryMB() / SMALLEST_TABLE_MB * SMALLEST_TABLE_MB;
    return int32_t(std::min<int64_t>(std::max<int64_t>(available, DEFAULT_TABLE_MB), INT32_MAX));
}

void answerUsi(const Session& s) {
    sendLine(std::string("id name Kelvaro ") + PROGRAM_VERSION);
    sendLine("id author the Kelvaro developers");
    sendLine("option name USI_Hash type spin default " + std::to_string(DEFAULT_TABLE_MB) + " min " +
             std::to_string(SMALLEST_TABLE_MB) + " max " + std::to_string(s.hashMaxMB));
    sendLine("option name DepthLimit type spin default " + std::to_string(MAX_DEPTH_LIMIT) + " min 1 max " +
             std::to_string(MAX_DEPTH_LIMIT));
    sendLine("usiok");
}

void answerIsReady(const Session& s) {
    if (!prepareTable(s.hashMB))
        sendLine("info string no position table of " + std::to_string(s.hashMB) + " MB can be had");
    sendLine("readyok");
}

// A spin value, held within its range; a text that is no number leaves
// the value as it was.
void readSpin(const std::string& text, int32_t low, int32_t high, int32_t& value) {
    char* end = nullptr;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') return;
    value = int32_t(std::clamp<long long>(n, low, high));
}

// setoption name NAME value VALUE; other options are ignored.
void setOption(Session& s, const std::vector<std::string>& words) {
    if (words.size() != 5 || words[1] != "name" || words[3] != "value") return;
    if (words[2] == "USI_Hash") readSpin(words[4], SMALLEST_TABLE_MB, s.hashMaxMB, s.hashMB);
    if (words[2] == "DepthLimit") readSpin(words[4], 1, MAX_DEPTH_LIMIT, s.depthLimit);
}

// position startpos|sfen SFEN [moves MOVE…]: the moves are played in turn,
// each a legal move of the side to move.
bool readPosition(const std::vector<std::string>& words, MateProblem& problem, std::string& refusal) {
    size_t next = 2;
    std::string sfen;
    if (words.size() >= 2 && words[1] == "startpos") {
        sfen = START_POSITION;
    } else if (words.size() >= 2 && words[1] == "sfen") {
        for (; next < words.size() && words[next] != "moves"; ++next) sfen += words[next] + ' ';
    } else {
        return refusal = "the position is neither startpos nor sfen", false;
    }
    auto pos = std::make_unique<Position>();
    if (!setUpFromSfen(*pos, sfen, refusal)) return refusal = "the sfen is refused: " + refusal, false;
    if (next < words.size() && words[next] == "moves") ++next;
    for (; next < words.size(); ++next) {
        Move move;
        if (pos->ply >= MAX_PLY_KEYS) return refusal = "too many moves", false;
        if (!findUsiMove(*pos, words[next], move)) return refusal = "the move " + words[next] + " is illegal", false;
        makeMove(*pos, move);
    }
    problem = mateProblemOf(*pos);
    return true;
}

// go mate MILLISECONDS | infinite; no figure is infinite too.
void goMate(const Session& s, const std::vector<std::string>& words, const Command& command,
            const CommandQueue& queue) {
    if (!s.positionSet) {
        sendLine("info string " + s.positionRefusal);
        sendLine("checkmate nomate");
        return;
    }
    int32_t limit = 0;
    if (words.size() >= 3 && words[2] != "infinite") readSpin(words[2], 0, INT32_MAX, limit);
    const MateRequest request{s.hashMB, int16_t(s.depthLimit), limit, &queue.stoppedGo, command.goNumber};
    sendLine(answerGoMate(s.problem, request, sendLine));
}

// Unknown commands and malformed ones are passed over, as the protocol
// asks; false at quit.
bool handle(Session& s, const Command& command, const CommandQueue& queue) {
    const std::vector<std::string> words = wordsOf(command.line);
    if (words.empty()) return true;
    const std::string& name = words[0];
    if (name == "quit") return false;
    if (name == "usi") answerUsi(s);
    if (name == "isready") answerIsReady(s);
    if (name == "setoption") setOption(s, words);
    if (name == "position") s.positionSet = readPosition(words, s.problem, s.positionRefusal);
    if (name == "go" && words.size() >= 2 && words[1] == "mate") goMate(s, words, command, queue);
    return true;
}

}  // namespace

int runUsiEngine() {
    openProtocolChannel();
    forbidKeyboardThread();
    CommandQueue queue;
    std::thread reader(readCommands, std::ref(queue));
    Session session;
    session.hashMaxMB = largestTableMB();
    while (handle(session, queue.pop(), queue)) {
    }
    reader.join();
    return 0;
}
