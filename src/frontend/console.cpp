// Minimal console: raw bytes to standard output. The terminal handling
// (encoding, colours, title, key polling) replaces this.
#include "frontend/console.h"

#include <csignal>
#include <iostream>

int32_t elapsedSeconds = 0;
std::atomic<uint8_t> ctrlCPressed{0};

std::ostream& consoleOut() { return std::cout; }
bool cursorAtColumnZero() { return true; }
void newLineIfNeeded() {}
void setTextAttribute(int) {}
void setConsoleTitle(std::string_view) {}
void waitForKey() { std::cout << "何かキーを押してください..." << std::flush; waitForKeySilently(); }
void waitForKeySilently() {
    std::string line;
    std::getline(std::cin, line);
}
bool askYesNo(char letter) {
    char c;
    if (!(std::cin >> c)) return false;
    std::cin.clear();
    std::string rest;
    std::getline(std::cin, rest);
    return std::toupper(static_cast<unsigned char>(c)) == std::toupper(static_cast<unsigned char>(letter));
}
bool readInputLine(std::string& line) { return bool(std::getline(std::cin, line)); }
std::string elapsedText() { return elapsedText(elapsedSeconds); }
std::string elapsedText(int32_t s) {
    std::string t;
    if (s / 3600 > 0) t += decimalText(s / 3600) + "時間";
    if (s % 3600 / 60 > 0) t += decimalText(s % 3600 / 60) + "分";
    return t + decimalText(s % 60) + "秒";
}
std::string decimalText(int64_t v) { return std::to_string(v); }
std::string decimalText(uint64_t v) { return std::to_string(v); }
void onCtrlC(int) { ctrlCPressed = 1; }
void installCtrlCHandler() { std::signal(SIGINT, onCtrlC); }
bool keyPollingAvailable() { return false; }
void enterKeyMode() {}
void leaveKeyMode() {}
int pollKey(int) { return -1; }
void suspendKeyPolling() {}
void resumeKeyPolling() {}
