#include "search/keyboard.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frontend/console.h"
#include "frontend/problem_header.h"
#include "search/position_table.h"
#include "search/search.h"

std::atomic<uint8_t> keyboardThreadRunning{0};
std::atomic<uint8_t> progressRequested{0};
std::atomic<uint8_t> escPressed{0};

namespace {

constexpr int ESC_KEY = 27;
constexpr int POLL_INTERVAL_MS = 50;

std::thread keyboardThreadHandle;
std::mutex noticeMutex;
std::vector<std::string> notices;
std::atomic<bool> noticesWaiting{false};

void queueNotice(std::string text) {
    std::lock_guard<std::mutex> lock(noticeMutex);
    notices.push_back(std::move(text));
    noticesWaiting = true;
}

void lowerOwnPriority() {
    // Below normal: the thread should take time only when the search leaves some.
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 5);
}

void keyboardThread() {
    lowerOwnPriority();
    const bool polling = keyPollingAvailable();
    if (polling) enterKeyMode();
    while (keyboardThreadRunning) {
        if (!polling) {
            usleep(POLL_INTERVAL_MS * 1000);
            continue;
        }
        const int key = pollKey(POLL_INTERVAL_MS);
        if (key >= 0) handleKey(std::toupper(key));
    }
    if (polling) leaveKeyMode();
}

std::string monitorDepthText() { return decimalText(int32_t(problem.monitorDepth)) + "手"; }

}  // namespace

void handleKey(int key) {
    key = std::toupper(key);
    if (key == ESC_KEY) {
        escPressed = 1;
    } else if (key == 'D') {
        progressRequested = 1;
    } else if (key == 'M') {
        if (problem.monitorOn) {
            queueNotice("モニタ停止");
            problem.monitorOn = 0;
        } else {
            queueNotice("モニタ開始：" + monitorDepthText());
            problem.monitorOn = 1;
        }
    } else if (key == '+') {
        if (problem.monitorDepth < searchContext.depthLimit) {
            ++problem.monitorDepth;
            problem.monitorOn = 1;
            queueNotice("モニタ深度：" + monitorDepthText());
        }
    } else if (key == '-') {
        if (problem.monitorDepth > 1) {
            --problem.monitorDepth;
            problem.monitorOn = 1;
            queueNotice("モニタ深度：" + monitorDepthText());
        } else if (problem.monitorDepth == 1) {
            queueNotice("モニタ停止");
            problem.monitorOn = 0;
        }
    }
}

bool keyboardNoticesPending() { return noticesWaiting; }

void printKeyboardNotices() {
    if (!noticesWaiting) return;
    std::vector<std::string> waiting;
    {
        std::lock_guard<std::mutex> lock(noticeMutex);
        waiting.swap(notices);
        noticesWaiting = false;
    }
    for (const std::string& text : waiting) {
        newLineIfNeeded();
        consoleOut() << text << '\n' << std::flush;
    }
}

bool startKeyboardThread() {
    if (keyboardThreadRunning) return false;
    // A thread told to stop by someone who did not start it has ended or is
    // ending; it is joined here before its successor starts.
    if (keyboardThreadHandle.joinable()) keyboardThreadHandle.join();
    keyboardThreadRunning = 1;
    keyboardThreadHandle = std::thread(keyboardThread);
    return true;
}

void stopKeyboardThread() {
    keyboardThreadRunning = 0;
    if (keyboardThreadHandle.joinable()) keyboardThreadHandle.join();
}

void invokeSearch(SearchContext& ctx, Position& root, int16_t depth) {
    if (depth < 0) return;
    resetSearchFields(root);
    ctx.rootPly = root.ply;
    ctx.rootSide = root.sideToMove;
    progressRequested = 0;
    const bool started = startKeyboardThread();

    ++ctx.nodeCount;
    ctx.depthLimit = depth;
    ctx.deepestPly = root.ply;
    search(ctx, root, depth);

    ctx.deepestPlyOverall = std::max(ctx.deepestPlyOverall, ctx.deepestPly);
    problem.traceOn = 0;
    problem.monitorOn = 0;
    ctx.maxLevel = std::max(ctx.maxLevel, int32_t(levelOf(root.treeSize)));

    keyboardThreadRunning = 0;
    if (started) stopKeyboardThread();
    printKeyboardNotices();
}
