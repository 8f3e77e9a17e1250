// Stopping a run, saving it and taking it up again, as a user does; and
// suspend files that must not be taken up.
#include <dirent.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <optional>
#include <sstream>

#include "driver/problem_header.h"
#include "driver/suspend.h"
#include "harness.h"
#include "test_data.h"


namespace {

using namespace harness;

const std::string STOP_QUESTION = "中断しますか？（Y/N）：";
const std::string SAVE_QUESTION = "現在の状態を保存しますか？（Y/N）：";
const std::string RESUME_QUESTION = "待避ファイルがあります。これを使って再開しますか？（Y/N）";

// A suspend file holds the whole table: these runs ask for the smallest, so
// that a save writes 20 MB rather than the default's 240 (and the stop points
// below, counted in positions, were set at that size).
std::string withSmallTable(std::string text) {
    const size_t moveCountLine = text.find("手数：");
    if (moveCountLine != std::string::npos) text.insert(moveCountLine, "備考：メモリ20MB\r\n");
    return text;
}

std::string exampleProblem() { return withSmallTable(readFile(sourcePath("problems/example.kif"))); }

std::string suspendPath(const ProblemFile& file) { return file.dir() + "/problem.kvs"; }

// What a save may leave beside the suspend file, sorted: temporary files,
// and the lock, which a run removes at its end.
std::vector<std::string> leftoversIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::strncmp(e->d_name, "problem.kvs.", 12) == 0) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}
const std::vector<std::string> NOTHING_LEFT;

// The findings shown on a console: every labelled line and every solution
// line's end, in order.
std::vector<std::string> findingsOf(const std::string& console) {
    std::vector<std::string> found;
    std::istringstream lines(console);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("余詰：", 0) == 0 || line.rfind("非限定：", 0) == 0 || line.rfind("迂回：", 0) == 0 ||
            line.find(" まで ") != std::string::npos)
            found.push_back(line);
    return found;
}

// The dialogue of a user who declines the entered sequence, stops the run
// (at a point set by KELVARO_TEST_STOPS, as if ESC were pressed there), and
// asks to save. A stop with a mate already found is asked whether to write
// it out; a run that finds a suspend file first declines it. The answers
// are typed in line mode, the last key in single-key mode.
std::vector<TerminalStep> stopAndSaveSteps(bool mateFound, bool declineResume = false) {
    std::vector<TerminalStep> steps;
    if (declineResume) steps.push_back({RESUME_QUESTION, "n\n"});
    steps.push_back({"この手順を元に検討しますか？（Y/N）：", "n\n"});
    steps.push_back({STOP_QUESTION, "y\n"});
    if (mateFound) steps.push_back({"暫定的な解を出力しますか？（Y/N）：", "n\n"});
    steps.push_back({SAVE_QUESTION, "y\n"});
    steps.push_back({KEY_WAIT, "x", TerminalMode::Keys});
    return steps;
}

// Where a run stops (see testStops).
struct StopPoint {
    std::string stops;
};
const StopPoint EARLY_IN_VERIFICATION{"verify@1"};

Command stoppedAt(const ProblemFile& file, const StopPoint& at) {
    Command command;
    command.arguments = {file.path()};
    command.environment = {testStops(at.stops)};
    return command;
}

RunResult runUntilStopped(const std::vector<std::string>& arguments, const StopPoint& at,
                          const std::vector<TerminalStep>& steps, std::optional<Identity> runAs = std::nullopt) {
    Command command;
    command.arguments = arguments;
    command.environment = {testStops(at.stops)};
    command.runAs = runAs;
    return runOnTerminal(command, steps);
}

// Stops the example in its verification and saves; the file is left beside
// the problem.
void stopInVerificationAndSave(const ProblemFile& file) {
    const RunResult run =
        runUntilStopped({file.path()}, EARLY_IN_VERIFICATION, stopAndSaveSteps(true));
    ASSERT_EQ(run.exitCode, 0) << shown(run.console);
    EXPECT_MATCH(run.console, "{*}待避ファイル作成中... しばらくお待ちください\n{*}(中断：変別・非限定検討中{*}");
    ASSERT_EQ(access(suspendPath(file).c_str(), F_OK), 0) << "no suspend file";
}

// A file that must not be taken up is refused before anything changes: a
// message, exit code 1, and the file as it was.
void expectRefused(const ProblemFile& file, const std::string& message) {
    const std::string before = readFile(suspendPath(file));
    const RunResult run = file.run("y\n");
    EXPECT_EQ(run.exitCode, 1) << shown(run.console);
    EXPECT_MATCH(run.console, "{*}" + message + "{*}");
    EXPECT_TRUE(fileHolds(suspendPath(file), before));
}

// The fields at the head of a suspend file, where a test changes them.
constexpr size_t MARK_BYTES = 8, PROBLEM_BYTES = 8 + 2;
constexpr size_t ELAPSED_AT = MARK_BYTES + PROBLEM_BYTES;
constexpr size_t NODE_COUNT_AT = ELAPSED_AT + 70;

template <typename T>
std::string withField(std::string file, size_t at, T value) {
    std::memcpy(file.data() + at, &value, sizeof value);
    return file;
}

TEST(SuspendFile, DamagedFilesAreRefusedAndLeftAsTheyWere) {
    ProblemFile file(RawText{exampleProblem()});
    stopInVerificationAndSave(file);
    const std::string whole = readFile(suspendPath(file));
    ASSERT_GT(whole.size(), 4096u);
    // A damaged file is named as such, or, when the damage hits the
    // problem's settings at its head, refused as a file of another problem.
    const std::string DAMAGED = "エラー：待避ファイル";

    writeFile(suspendPath(file), "");
    expectRefused(file, DAMAGED);
    writeFile(suspendPath(file), whole.substr(0, whole.size() / 2));
    expectRefused(file, DAMAGED);
    // Counts at the head of the file gone wild.
    std::string garbage = whole;
    for (size_t i = 0; i < 256; ++i) garbage[i] = char(0xff);
    writeFile(suspendPath(file), garbage);
    expectRefused(file, DAMAGED);
    // One byte too many.
    writeFile(suspendPath(file), whole + "x");
    expectRefused(file, DAMAGED);
    // A file of an earlier build: the same fields without the mark in front,
    // its table made under a rule that counted every interposition.
    writeFile(suspendPath(file), whole.substr(8));
    expectRefused(file, DAMAGED + "{*}以前の版で作られたもの");
    // A file of the build before the head named its problem.
    writeFile(suspendPath(file), "KVSUSP02" + whole.substr(MARK_BYTES + PROBLEM_BYTES));
    expectRefused(file, DAMAGED + "{*}以前の版で作られたもの");

    // Times and counts no run produces (the report would show them).
    const std::string RUN_FIGURES = DAMAGED + "{*}（所要時間・探索局面数）";
    writeFile(suspendPath(file), withField<int32_t>(whole, ELAPSED_AT, -57));
    expectRefused(file, RUN_FIGURES);
    writeFile(suspendPath(file), withField<int32_t>(whole, ELAPSED_AT, INT32_MAX));
    expectRefused(file, RUN_FIGURES);
    writeFile(suspendPath(file), withField<uint64_t>(whole, NODE_COUNT_AT, 4'600'000'000'000'000'000u));
    expectRefused(file, RUN_FIGURES);
}

// What is not a regular file is no suspend file: the run starts fresh
// without asking (a FIFO's open used to wait for a writer for ever).
TEST(SuspendFile, FifoOrFolderOfItsNameIsPassedOver) {
    for (const bool fifo : {true, false}) {
        ProblemFile file(RawText{exampleProblem()});
        ASSERT_EQ(fifo ? mkfifo(suspendPath(file).c_str(), 0600) : mkdir(suspendPath(file).c_str(), 0700), 0);
        const RunResult run = file.run("", 120);
        EXPECT_EQ(run.exitCode, 0) << shown(run.console);
        EXPECT_EQ(run.console.find(RESUME_QUESTION), std::string::npos) << shown(run.console);
        EXPECT_NE(run.console.find(" まで 11手"), std::string::npos) << shown(run.console);
    }
}

TEST(SuspendFile, FileOfAnotherProblemOrSettingIsRefused) {
    ProblemFile file(RawText{exampleProblem()});
    stopInVerificationAndSave(file);
    const std::string problem = readFile(file.path());
    const size_t moveCountLine = problem.find("手数：");
    ASSERT_NE(moveCountLine, std::string::npos);
    const auto withHeader = [&](const std::string& line) {
        std::string text = problem;
        text.insert(moveCountLine, line + "\r\n");
        return text;
    };
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = problem;
        const size_t at = text.find(from);
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    };

    // Another problem of the same settings: one lance fewer in hand.
    writeFile(file.path(), replaced("先手の持駒：角　香四", "先手の持駒：角　香三"));
    expectRefused(file, "エラー：待避ファイルと現ファイルで初形が異なります");
    // The same diagram with another move count.
    writeFile(file.path(), replaced("手数：11", "手数：13"));
    expectRefused(file, "エラー：待避ファイルと現ファイルで手数が異なります");

    // The same problem with a larger table.
    writeFile(file.path(), withHeader("備考：メモリ40MB"));
    expectRefused(file, "エラー：待避ファイルと現ファイルでメモリ指定が異なります");
    // The same diagram as a worst-play problem.
    writeFile(file.path(), withHeader("分類：最悪詰"));
    expectRefused(file, "エラー：待避ファイルと現ファイルでルールが異なります");
    // Checks no longer required.
    writeFile(file.path(), withHeader("分類：非王手可"));
    expectRefused(file, "エラー：待避ファイルと現ファイルで王手義務の条件が異なります");
    // Pawn-drop mate allowed.
    writeFile(file.path(), withHeader("分類：打歩詰"));
    expectRefused(file, "エラー：待避ファイルと現ファイルで「打歩」の条件が異なります");
    // A move restriction.
    writeFile(file.path(), withHeader("分類：禁欲詰"));
    expectRefused(file, "エラー：待避ファイルと現ファイルで条件が異なります");
}

TEST(SuspendFile, FileOfAnotherDefaultTableSizeIsTakenUpAtItsOwnSize) {
    ProblemFile file(RawText{exampleProblem()});
    stopInVerificationAndSave(file);
    // The problem as it was before the 20 MB remark: its default table is
    // another size, and the run takes the file up at the file's.
    writeFile(file.path(), readFile(sourcePath("problems/example.kif")));
    const RunResult run = file.run("y\n");
    ASSERT_EQ(run.exitCode, 0) << shown(run.console);
    EXPECT_MATCH(run.console, "{*}待避ファイルから再開します。\n{*}\n局面表：{*}/1048575 ({*}");
}

// A save cut short as on a full disk: its file may not grow beyond a
// megabyte (the report stays far below that).
Command withFullDisk(Command command) {
    command.fileSizeLimit = rlim_t(1) << 20;
    return command;
}

// A save that fails says what the folder holds afterwards, and a run taken
// up from its file, whose save failed, does not offer to delete that file:
// it is the only good one. Either run ends with exit code 1.
TEST(SuspendFile, FailedSaveSaysWhatIsLeftAndKeepsTheOnlyGoodFile) {
    {
        ProblemFile file(RawText{exampleProblem()});
        const RunResult run =
            runOnTerminal(withFullDisk(stoppedAt(file, EARLY_IN_VERIFICATION)), stopAndSaveSteps(true));
        EXPECT_EQ(run.exitCode, 1) << shown(run.console);
        EXPECT_MATCH(run.console, "{*}待避ファイルを書き込めませんでした。待避ファイルは作成されていません\n{*}");
        EXPECT_NE(access(suspendPath(file).c_str(), F_OK), 0);
        EXPECT_EQ(leftoversIn(file.dir()), NOTHING_LEFT);
    }
    ProblemFile file(RawText{exampleProblem()});
    stopInVerificationAndSave(file);
    const std::string saved = readFile(suspendPath(file));
    const std::vector<TerminalStep> resumeStopAndSave = {
        {RESUME_QUESTION, "y\n"},
        {STOP_QUESTION, "y\n"},
        {SAVE_QUESTION, "y\n"},
        {KEY_WAIT, "x", TerminalMode::Keys},
    };
    const RunResult run = runOnTerminal(withFullDisk(stoppedAt(file, EARLY_IN_VERIFICATION)), resumeStopAndSave);
    EXPECT_EQ(run.exitCode, 1) << shown(run.console);
    EXPECT_MATCH(run.console, "{*}待避ファイルを書き込めませんでした。以前の待避ファイルはそのまま残っています\n{*}");
    EXPECT_EQ(run.console.find("待避ファイルを削除しますか"), std::string::npos) << shown(run.console);
    EXPECT_TRUE(fileHolds(suspendPath(file), saved));
    EXPECT_EQ(leftoversIn(file.dir()), NOTHING_LEFT);
}

// Links planted where the save used to write its temporary file, and where
// it keeps its lock, are neither followed nor removed; the save is made.
TEST(SuspendFile, LinksPlantedBesideTheFileAreNotWrittenThrough) {
    ProblemFile file(RawText{exampleProblem()});
    const std::string victim = file.dir() + "/victim", bytes = "not a suspend file\n";
    writeFile(victim, bytes);
    for (const char* name : {"/problem.kvs.tmp", "/problem.kvs.lock"})
        ASSERT_EQ(symlink(victim.c_str(), (file.dir() + name).c_str()), 0);
    stopInVerificationAndSave(file);
    EXPECT_TRUE(fileHolds(victim, bytes));
    EXPECT_EQ(leftoversIn(file.dir()), (std::vector<std::string>{"problem.kvs.lock", "problem.kvs.tmp"}));
    struct stat link {};
    EXPECT_TRUE(lstat((file.dir() + "/problem.kvs.tmp").c_str(), &link) == 0 && S_ISLNK(link.st_mode));
    EXPECT_TRUE(lstat((file.dir() + "/problem.kvs.lock").c_str(), &link) == 0 && S_ISLNK(link.st_mode));
}

// One run at a time uses a problem's suspend file: a second run neither
// takes it up nor saves over it while the first holds it (from its offer to
// resume to its end), and names the first.
TEST(SuspendFile, SecondRunOfTheProblemNeitherResumesNorSavesWhileTheFirstHoldsTheFile) {
    ProblemFile file(RawText{exampleProblem()});
    stopInVerificationAndSave(file);
    const std::string saved = readFile(suspendPath(file));
    Command first;
    first.arguments = {file.path()};
    TerminalSession holder(first);
    ASSERT_NE(holder.waitForText(RESUME_QUESTION, 0, 120), std::string::npos) << shown(holder.text());

    const RunResult second = runUntilStopped({file.path()}, EARLY_IN_VERIFICATION, stopAndSaveSteps(true));
    EXPECT_EQ(second.exitCode, 1) << shown(second.console);
    const std::string inUse = "待避ファイル " + suspendPath(file) + " は別の実行（プロセスID " +
                              std::to_string(holder.pid()) + "）が使用中です。";
    EXPECT_MATCH(second.console,
                 "{*}" + inUse + "待避ファイルを使わずに検討します\n{*}" + inUse + "保存できません\n{*}");
    EXPECT_EQ(second.console.find(RESUME_QUESTION), std::string::npos) << shown(second.console);
    EXPECT_TRUE(fileHolds(suspendPath(file), saved));
    EXPECT_EQ(leftoversIn(file.dir()), std::vector<std::string>{"problem.kvs.lock"});
}

// SIGTERM or SIGHUP in the middle of a save (the save waits there for it)
// removes the temporary file and ends the run by that signal; the previous
// file stays as it was.
TEST(SuspendFile, SignalDuringASaveRemovesTheTemporaryFile) {
    for (const int signalNumber : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        ProblemFile file(RawText{exampleProblem()});
        stopInVerificationAndSave(file);
        const std::string saved = readFile(suspendPath(file));
        Command command = stoppedAt(file, EARLY_IN_VERIFICATION);
        command.environment.push_back(TEST_SAVE_WAIT);
        TerminalSession session(command);
        std::vector<TerminalStep> steps = stopAndSaveSteps(true, true);
        steps.pop_back();  // no key wait: the save does not end
        ASSERT_TRUE(playSteps(session, steps)) << shown(session.text());
        ASSERT_NE(session.waitForText("待避ファイル作成中", 0, 120), std::string::npos) << shown(session.text());
        ASSERT_EQ(kill(session.pid(), signalNumber), 0);
        EXPECT_EQ(session.finish(60), 128 + signalNumber) << shown(session.text());
        EXPECT_TRUE(fileHolds(suspendPath(file), saved));
        // The lock is let go with the process; its file stays, and the next
        // run takes it over.
        EXPECT_EQ(leftoversIn(file.dir()), std::vector<std::string>{"problem.kvs.lock"});
    }
}

TEST(SuspendFile, SaveRefusedByFolderPermissionsLeavesThePreviousFileAsItWas) {
    // Permissions do not stop root: the refused save is made by an ordinary
    // user (nobody, when the tests run as root), in a folder it may read
    // but not write.
    const bool root = geteuid() == 0;
    const passwd* user = root ? getpwnam("nobody") : nullptr;
    if (root && !user) SKIP_OR_FAIL_WITHOUT_DATA("no user 'nobody' to run the program as");
    ProblemFile file(RawText{exampleProblem()});
    stopInVerificationAndSave(file);
    const std::string saved = readFile(suspendPath(file));
    ASSERT_EQ(chmod(file.dir().c_str(), root ? 0755 : 0555), 0);
    // The run reads the problem and the old file, and appends to its report.
    ASSERT_EQ(chmod(file.path().c_str(), 0644), 0);
    ASSERT_EQ(chmod(suspendPath(file).c_str(), 0644), 0);
    ASSERT_EQ(chmod(file.reportPath().c_str(), 0666), 0);
    const Identity identity{user ? user->pw_uid : 0, user ? user->pw_gid : 0};
    const RunResult run = runUntilStopped({file.path()}, EARLY_IN_VERIFICATION, stopAndSaveSteps(true, true),
                                          root ? std::optional<Identity>(identity) : std::nullopt);
    chmod(file.dir().c_str(), 0700);
    EXPECT_EQ(run.exitCode, 1) << shown(run.console);
    EXPECT_MATCH(run.console, "{*}待避用のファイルが開けません\n以前の待避ファイルはそのまま残っています\n{*}");
    EXPECT_TRUE(fileHolds(suspendPath(file), saved));
    EXPECT_EQ(leftoversIn(file.dir()), NOTHING_LEFT);
}

TEST(SuspendFile, TableTooLargeForTheCapacityFieldIsNotSaved) {
    const std::string dir = testing::TempDir() + "/kelvaro-too-large";
    mkdir(dir.c_str(), 0755);
    const PositionTable kept = positionTable;
    positionTable.capacity = SUSPENDABLE_CAPACITY_LIMIT;
    suspendFileName = dir + "/problem.kvs";
    testing::internal::CaptureStdout();
    const bool written = writeSuspendFile(Position{});
    const std::string console = testing::internal::GetCapturedStdout();
    positionTable = kept;
    EXPECT_FALSE(written);
    EXPECT_NE(console.find("局面表が大きすぎるため待避ファイルを作成できません"), std::string::npos) << console;
    EXPECT_NE(access((dir + "/problem.kvs").c_str(), F_OK), 0);
    EXPECT_EQ(leftoversIn(dir), NOTHING_LEFT);
}

// The findings without the moves they name: the label and ply of each,
// and the solution's length.
std::vector<std::string> kindsOf(const std::vector<std::string>& findings) {
    std::vector<std::string> kinds;
    for (const std::string& f : findings) {
        const size_t ply = f.find("手目");
        const size_t end = f.find(" まで ");
        kinds.push_back(ply != std::string::npos ? f.substr(0, ply) : f.substr(end == std::string::npos ? 0 : end));
    }
    return kinds;
}

// The consoles of a round trip's two runs, for what a test checks beyond it.
struct RoundTrip {
    std::string stopped, resumed;
};

// Stops a problem, saves, resumes with Yes (the deletion question at the end
// is answered No by the end of input), and expects what the stopped run found
// in its verification and what the resumed run shows from resumedFrom on to
// be what an uninterrupted run shows from its shorter-mate check on. A run
// taken up in its first search searches again from the table as it was
// saved, on another course than the uninterrupted run: the file keeps
// neither the table's touches towards its next generation, nor the root's
// killer move, nor the deepest ply the stopped search had reached, and the
// last node of the saved path is expanded afresh (its saved children are not
// used). So where two moves mate equally it may take the other one: then
// only the kinds of findings can be compared.
void expectRoundTrip(const std::string& problemPath, const StopPoint& at, const std::vector<TerminalStep>& stop,
                     const std::string& resumedBanner, const std::string& resumedFrom, bool exactly,
                     RoundTrip* consoles = nullptr) {
    const std::string text = withSmallTable(readFile(problemPath));
    ASSERT_FALSE(text.empty()) << problemPath;
    ProblemFile plain(RawText{text});
    const RunResult uninterrupted = plain.run();
    ASSERT_EQ(uninterrupted.exitCode, 0) << shown(uninterrupted.console);
    const size_t checked = uninterrupted.console.find("早詰はありません");
    ASSERT_NE(checked, std::string::npos);

    ProblemFile file(RawText{text});
    const RunResult stopped = runUntilStopped({file.path()}, at, stop);
    ASSERT_EQ(stopped.exitCode, 0) << shown(stopped.console);
    EXPECT_MATCH(stopped.console, "{*}待避ファイル作成中... しばらくお待ちください\n{*}");
    ASSERT_EQ(access(suspendPath(file).c_str(), F_OK), 0) << shown(stopped.console);
    const std::string saved = readFile(suspendPath(file));

    const RunResult resumed = file.run("y\n");
    ASSERT_EQ(resumed.exitCode, 0) << shown(resumed.console);
    EXPECT_MATCH(resumed.console, "{*}" + RESUME_QUESTION + "{*}待避ファイルから再開します。\n{*}" + resumedBanner +
                                      "{*}再開手順：\n{*}");
    const size_t resumedAt = resumed.console.find(resumedFrom);
    ASSERT_NE(resumedAt, std::string::npos) << shown(resumed.console);
    const std::vector<std::string> expected = findingsOf(uninterrupted.console.substr(checked));
    // What the stopped run found in its verification before the stop, then
    // what the resumed run finds.
    const size_t stoppedChecked = stopped.console.find("早詰はありません");
    std::vector<std::string> found;
    if (stoppedChecked != std::string::npos) found = findingsOf(stopped.console.substr(stoppedChecked));
    for (const std::string& f : findingsOf(resumed.console.substr(resumedAt))) found.push_back(f);
    if (exactly) {
        EXPECT_EQ(found, expected);
    } else {
        EXPECT_EQ(kindsOf(found), kindsOf(expected));
    }
    EXPECT_TRUE(fileHolds(suspendPath(file), saved));
    if (consoles) *consoles = {stopped.console, resumed.console};
}

TEST(SuspendFile, RunStoppedInVerificationResumesToTheSameSolutionAndFindings) {
    expectRoundTrip(sourcePath("problems/example.kif"), EARLY_IN_VERIFICATION,
                    stopAndSaveSteps(true), "最善詰 11手\n", "待避ファイルから再開します", true);
}

#ifdef KELVARO_SLOW_TESTS
// Three runs of some twenty seconds each: too long for the sanitised build.
TEST(SuspendFile, RunStoppedDeepInVerificationPassesOverTheMovesAlreadyExamined) {
    // 将棋図巧第30番 from the corpus: the alternatives to its fifth move take
    // some 600,000 positions, and a stop 300,000 positions into them falls
    // in one of them, with four moves examined.
    const std::string problem = std::string(KELVARO_CORPUS_DIR) + "/kif/m007.kif";
    if (access(problem.c_str(), R_OK) != 0) SKIP_OR_FAIL_WITHOUT_DATA("the corpus is not at " KELVARO_CORPUS_DIR);
    RoundTrip consoles;
    expectRoundTrip(problem, {"verify5@300000"}, stopAndSaveSteps(true), "最善詰 17手\n", "から再開\n", true,
                    &consoles);
    if (HasFatalFailure()) return;
    // The alternative whose search was stopped is named by the first run's
    // closing block, and taken up first by the second run.
    const std::string stoppedAt = "(中断：変別・非限定検討中、5手目";
    const size_t at = consoles.stopped.find(stoppedAt);
    ASSERT_NE(at, std::string::npos) << shown(consoles.stopped);
    const size_t end = consoles.stopped.find("まで)\n", at);
    ASSERT_NE(end, std::string::npos) << shown(consoles.stopped);
    const std::string alternative = consoles.stopped.substr(at + stoppedAt.size(), end - at - stoppedAt.size());
    EXPECT_MATCH(consoles.resumed, "{*}\n5手目" + alternative + "から再開\n{*}再開手順：\n1手目23飛成 \t：検討済\n"
                                   "2手目同玉 \t：検討済\n3手目13角成 \t：検討済\n4手目34玉 \t：検討済\n5手目35金 \t：" +
                                       alternative + "\n{*}");
}
#endif

TEST(SuspendFile, RunStoppedInTheFirstSearchResumesWithItsShorterMateCheck) {
    // 将棋図巧第67番 from the corpus: its first search is still under way
    // after 100,000 positions.
    const std::string problem = std::string(KELVARO_CORPUS_DIR) + "/kif/l013.kif";
    if (access(problem.c_str(), R_OK) != 0) SKIP_OR_FAIL_WITHOUT_DATA("the corpus is not at " KELVARO_CORPUS_DIR);
    expectRoundTrip(problem, {"solve@100000"}, stopAndSaveSteps(false), "最善詰 47手\n", "早詰はありません", false);
}

TEST(SuspendFile, RunStoppedInTheShorterMateCheckResumesThere) {
    expectRoundTrip(sourcePath("problems/zukou085.kif"), {"shorter@1000"},
                    stopAndSaveSteps(true), "最善詰 13手（早詰チェック）\n", "早詰はありません", true);
}

}  // namespace
