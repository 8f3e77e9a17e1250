// Every input a fuzzer once broke the program with, replayed through the
// same entry points (and the bundled problems, as a sanity check of the
// harness). The sanitizer build is where these count.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "driver/keyboard.h"
#include "fuzz/fuzz_harness.h"

namespace {

std::vector<std::filesystem::path> filesIn(const std::string& dir) {
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::is_directory(dir)) return files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string bytesOf(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

template <typename Run>
void replay(const std::string& dir, Run run) {
    // A folder that is not there would pass having replayed nothing.
    ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
    for (const auto& file : filesIn(dir)) {
        SCOPED_TRACE(file.string());
        const std::string data = bytesOf(file);
        testing::internal::CaptureStdout();
        run(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        testing::internal::GetCapturedStdout();
    }
}

const std::string SOURCE = KELVARO_SOURCE_DIR;

}  // namespace

TEST(FuzzRegressions, ProblemFileInputsRunWithoutFault) {
    replay(SOURCE + "/tests/fuzz/regressions/problem_file", runProblemFileInput);
    replay(SOURCE + "/problems", runProblemFileInput);
    replay(SOURCE + "/problems/corpus/kif", runProblemFileInput);
}

TEST(FuzzRegressions, SuspendFileInputsRunWithoutFault) {
    replay(SOURCE + "/tests/fuzz/regressions/suspend_file", runSuspendFileInput);
    // Seeds written by the harness itself are read back without a refusal.
    const std::string dir = testing::TempDir() + "/kelvaro-suspend-seeds";
    std::filesystem::create_directories(dir);
    testing::internal::CaptureStdout();
    const int written = writeSuspendSeeds(dir);
    testing::internal::GetCapturedStdout();
    stopKeyboardThread();
    EXPECT_EQ(written, 3);
    for (const auto& file : filesIn(dir)) {
        const std::string data = bytesOf(file);
        testing::internal::CaptureStdout();
        EXPECT_TRUE(runSuspendFileInput(reinterpret_cast<const uint8_t*>(data.data()), data.size())) << file;
        testing::internal::GetCapturedStdout();
    }
    std::filesystem::remove_all(dir);
}
