#include "driver/keyboard.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/console.h"
#include "driver/problem_header.h"

std::atomic<uint8_t> keyboardThreadRunning{0};
std::atomic<uint8_t> progressRequested{0};
std::atomic<uint8_t> escPressed{0};
std::atomic<int16_t> monitorDepthLimit{0};

namespace {

constexpr int ESC_KEY = 27;
constexpr int POLL_INTERVAL_MS = 50;

std::thread keyboardThreadHandle;
std::atomic<bool> keyboardThreadForbidden{false};
// Wakes a thread that has no terminal to poll as soon as it is told to stop.
std::mutex stopMutex;
std::condition_variable stopSignal;
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

// Ctrl-C's handler decides from the terminal's state whether to advise ESC.
// Run here, late, it could see the key mode that came back after a question
// the Ctrl-C was typed at; it runs on the thread that asks instead.
void leaveCtrlCToOtherThreads() {
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
}

void keyboardThread() {
    leaveCtrlCToOtherThreads();
    lowerOwnPriority();
    const bool polling = keyPollingAvailable();
    if (polling) enterKeyMode();
    while (keyboardThreadRunning) {
        if (!polling) {
            // No key can come. The time-out only covers a stop that was
            // signalled without a wake-up (keyboardThreadRunning cleared by
            // the stop question).
            std::unique_lock<std::mutex> lock(stopMutex);
            stopSignal.wait_for(lock, std::chrono::milliseconds(POLL_INTERVAL_MS),
                                [] { return !keyboardThreadRunning; });
            continue;
        }
        const int key = pollKey(POLL_INTERVAL_MS);
        if (key >= 0) handleKey(std::toupper(key));
    }
    if (polling) leaveKeyMode();
}

// Ends the current wait of the thread at once, so that a stop costs no
// polling interval: every search invocation starts and stops the thread.
void wakeKeyboardThread() {
    { std::lock_guard<std::mutex> lock(stopMutex); }
    stopSignal.notify_all();
    if (keyPollingAvailable()) {
        // Suspending the poller interrupts its poll; with keyboardThreadRunning
        // clear it then leaves key mode and ends.
        suspendKeyPolling();
        resumeKeyPolling();
    }
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
        if (problem.monitorDepth < monitorDepthLimit) {
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

void forbidKeyboardThread() { keyboardThreadForbidden = true; }

bool startKeyboardThread() {
    if (keyboardThreadRunning || keyboardThreadForbidden) return false;
    // A thread told to stop by someone who did not start it has ended or is
    // ending; it is joined here before its successor starts.
    if (keyboardThreadHandle.joinable()) {
        wakeKeyboardThread();
        keyboardThreadHandle.join();
    }
    keyboardThreadRunning = 1;
    keyboardThreadHandle = std::thread(keyboardThread);
    return true;
}

void stopKeyboardThread() {
    {
        std::lock_guard<std::mutex> lock(stopMutex);
        keyboardThreadRunning = 0;
    }
    if (keyboardThreadHandle.joinable()) {
        wakeKeyboardThread();
        keyboardThreadHandle.join();
    }
}
