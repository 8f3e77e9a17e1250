// The keyboard thread that runs beside every search invocation.
//
// The keyboard thread only raises flags; every flag is an atomic written by
// one thread and read or cleared by the other, without locks. The notices
// that the keys M, + and - produce are queued and written by the main thread
// at its next poll, so that only the main thread writes to the console.
#pragma once

#include <atomic>
#include <cstdint>

#include "position/position.h"
#include "search/search_context.h"

extern std::atomic<uint8_t> keyboardThreadRunning;
extern std::atomic<uint8_t> progressRequested;
extern std::atomic<uint8_t> escPressed;
// The depth limit of the running invocation as the keyboard thread sees it
// ('+' raises the monitor depth up to it).
extern std::atomic<int16_t> monitorDepthLimit;

// Starts the keyboard thread unless one runs; true when this call started it.
bool startKeyboardThread();
// From now on no keyboard thread is started: standard input carries
// something other than keys (the USI mode's commands), and a poller would
// take them away from their reader and set the terminal to single keys.
void forbidKeyboardThread();
// Tells the thread to stop and waits for it to end.
void stopKeyboardThread();

// What the thread does with one key (exposed for tests).
void handleKey(int key);

// Writes the notices queued by the keyboard thread; main thread only.
void printKeyboardNotices();
bool keyboardNoticesPending();
