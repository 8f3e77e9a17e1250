// Console services that can run without a terminal.
#include <gtest/gtest.h>

#include <unistd.h>

#include "base/console.h"
#include "base/terminal_text.h"

namespace {

// An input stream reading the given bytes from a pipe, then its end.
struct PipeInput {
    explicit PipeInput(const std::string& bytes) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        EXPECT_EQ(write(fds[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
        close(fds[1]);
        in.fd = fds[0];
    }
    ~PipeInput() { close(in.fd); }
    InputStream in;
};

TEST(YesNoAnswers, EndOfInputAnswersNo) {
    PipeInput none("");
    EXPECT_FALSE(askYesNo(none.in, 'Y'));
    EXPECT_FALSE(askYesNo(none.in, 'N'));  // and stays at its end
    PipeInput blanks(" \n\n\t");
    EXPECT_FALSE(askYesNo(blanks.in, 'Y'));
}

TEST(YesNoAnswers, OnlyTheFirstCharacterOfALineCounts) {
    PipeInput answers("  y  \n\n\n  no\nyes\nY\nN\n7\n");
    EXPECT_TRUE(askYesNo(answers.in, 'Y'));   // the rest of " y " is dropped,
    EXPECT_FALSE(askYesNo(answers.in, 'Y'));  // so this one reads "no" after the empty lines
    EXPECT_TRUE(askYesNo(answers.in, 'Y'));   // "yes": its "es" is gone too
    EXPECT_TRUE(askYesNo(answers.in, 'y'));
    EXPECT_TRUE(askYesNo(answers.in, 'N'));
    EXPECT_FALSE(askYesNo(answers.in, 'N'));
    EXPECT_FALSE(askYesNo(answers.in, 'Y'));
}

TEST(LineInput, WholeLinesWithSpaces) {
    PipeInput names("my problem file.kif\r\n\nlast");
    std::string line;
    ASSERT_TRUE(readInputLine(names.in, line));
    EXPECT_EQ(line, "my problem file.kif");
    ASSERT_TRUE(readInputLine(names.in, line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(readInputLine(names.in, line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(readInputLine(names.in, line));
}

TEST(Figures, ElapsedTimeText) {
    EXPECT_EQ(elapsedText(3725), "1時間2分5秒");
    EXPECT_EQ(elapsedText(65), "1分5秒");
    EXPECT_EQ(elapsedText(0), "0秒");
    EXPECT_EQ(elapsedText(3605), "1時間5秒");
    EXPECT_EQ(elapsedText(59), "59秒");
    elapsedSeconds = 7200;
    EXPECT_EQ(elapsedText(), "2時間0秒");
    elapsedSeconds = 0;
}

TEST(Figures, DecimalText) {
    EXPECT_EQ(decimalText(int32_t(-42)), "-42");
    EXPECT_EQ(decimalText(uint64_t(18446744073709551615u)), "18446744073709551615");
    EXPECT_EQ(decimalText(int64_t(0)), "0");
}

TEST(TerminalEncoding, DoubleByteCharacterSplitAcrossWrites) {
    TerminalEncoder encoder(true);
    ASSERT_TRUE(encoder.converts());
    // "あい" in CP932 is 82 A0 82 A2; the first write ends after a lead byte.
    EXPECT_EQ(encoder.feed("A\x82"), "A");
    EXPECT_EQ(encoder.feed("\xa0\x82"), "\xe3\x81\x82");
    EXPECT_EQ(encoder.feed("\xa2\n"), "\xe3\x81\x84\n");
    // A lead byte alone in a write, then its second half.
    EXPECT_EQ(encoder.feed("\x8b"), "");
    EXPECT_EQ(encoder.feed("\xe0"), "\xe9\x87\x91");  // 金
}

TEST(TerminalEncoding, BrokenBytesDoNotSwallowLineEnds) {
    TerminalEncoder encoder(true);
    EXPECT_EQ(encoder.feed("x\x82\ny"), "x?\ny");
    EXPECT_EQ(encoder.feed("\xa0"), "?");  // 0xA0 is no character in CP932
    EXPECT_EQ(encoder.convertWhole("・●"), "\xe3\x83\xbb\xe2\x97\x8f");
    EXPECT_EQ(encoder.convertWhole("\\~"), "\\~");  // ASCII stays ASCII
}

TEST(TerminalEncoding, RawWhenTheLocaleIsNotUtf8) {
    TerminalEncoder encoder(false);
    EXPECT_FALSE(encoder.converts());
    EXPECT_EQ(encoder.feed("\x82"), "\x82");
    EXPECT_EQ(encoder.feed("\xa0"), "\xa0");
}

TEST(ConsoleColumn, TrackedFromWhatWasWritten) {
    consoleWrite("(column tracking)");
    EXPECT_FALSE(cursorAtColumnZero());
    newLineIfNeeded();
    EXPECT_TRUE(cursorAtColumnZero());
    consoleOut() << "(line)" << '\n';
    EXPECT_TRUE(cursorAtColumnZero());
    newLineIfNeeded();  // writes nothing in column 0
    EXPECT_TRUE(cursorAtColumnZero());
}

}  // namespace
