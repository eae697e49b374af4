#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/Keyboard.h"
#include "platform/StderrMessenger.h"
#include "platform/TerminalMessenger.h"
#include "platform/TerminalScreen.h"
#include "tests/platform/PtyHelpers.h"

namespace ombrel {
namespace {

using test::Pipe;

// What a messenger wrote into a temporary stream.
std::string StreamText(std::FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    int c;
    while ((c = std::fgetc(stream)) != EOF) text += static_cast<char>(c);
    return text;
}

TEST(StderrMessenger, WritesTheTitleTheMessageAndALineEnd) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(nullptr, stream);
    StderrMessenger messenger(stream);
    messenger.Show("Can't open binary data file.", MessageIcon::Exclamation);
    messenger.Show("The <studyname>.mtrx file is incomplete", MessageIcon::Exclamation);
    EXPECT_EQ(
        "Feldrin Software Ombrel: Can't open binary data file.\n"
        "Feldrin Software Ombrel: The <studyname>.mtrx file is incomplete\n",
        StreamText(stream));
    std::fclose(stream);
}

TEST(StderrMessenger, AsksNobodyAndGivesTheSafeOrTheFixedAnswer) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(nullptr, stream);
    StderrMessenger safe(stream);
    EXPECT_EQ(Answer::Cancel, safe.Ask("Resume?", ButtonSet::YesNoCancel, MessageIcon::Question));
    EXPECT_EQ(Answer::No, safe.Ask("Overwrite?", ButtonSet::YesNo, MessageIcon::Question));
    EXPECT_EQ(Answer::Ok, safe.Ask("Done.", ButtonSet::Ok, MessageIcon::Information));
    EXPECT_EQ(
        "Feldrin Software Ombrel: Resume?\n"
        "Feldrin Software Ombrel: Overwrite?\n"
        "Feldrin Software Ombrel: Done.\n",
        StreamText(stream));

    StderrMessenger yes(stream, Answer::Yes);
    EXPECT_EQ(Answer::Yes, yes.Ask("Resume?", ButtonSet::YesNoCancel, MessageIcon::Question));
    EXPECT_EQ(Answer::Yes, yes.Ask("Overwrite?", ButtonSet::YesNo, MessageIcon::Question));
    EXPECT_EQ(Answer::Ok, yes.Ask("Done.", ButtonSet::Ok, MessageIcon::Information));
    StderrMessenger cancel(stream, Answer::Cancel);
    EXPECT_EQ(Answer::No, cancel.Ask("Overwrite?", ButtonSet::YesNo, MessageIcon::Question));
    std::fclose(stream);
}

TEST(TerminalMessenger, FramesTheMessageWithTitleIconAndPrompt) {
    EXPECT_EQ((std::vector<std::string>{
                  "+-[!]- Feldrin Software Ombrel --+",
                  "|                                |",
                  "|  Can't open binary data file.  |",
                  "|                                |",
                  "|  Press any key.                |",
                  "+--------------------------------+",
              }),
              TerminalMessenger::FrameLines("Can't open binary data file.", ButtonSet::Ok,
                                            MessageIcon::Exclamation));
    std::vector<std::string> question =
        TerminalMessenger::FrameLines("Resume?\r\nLine\ttwo", ButtonSet::YesNoCancel, MessageIcon::Question);
    ASSERT_EQ(7u, question.size());
    EXPECT_EQ("|  Resume?                        |", question[2]);
    EXPECT_EQ("|  Line two                       |", question[3]);  // control characters as blanks
    EXPECT_EQ("+-[?]- Feldrin Software Ombrel ---+", question[0]);
    EXPECT_EQ("|  Y = Yes   N = No   C = Cancel  |", question[5]);
    EXPECT_EQ("+---------------------------------+", question[6]);
}

TEST(TerminalMessenger, LongTextIsWrappedAndCutToTheScreen) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += "word" + std::to_string(i) + " ";
    text += std::string(200, 'x');  // one word wider than a line
    std::vector<std::string> rows =
        TerminalMessenger::FrameLines(text, ButtonSet::Ok, MessageIcon::Information);
    ASSERT_EQ(24u, rows.size());  // 19 text rows, borders, blank rows and the prompt: rows 0 to 23
    for (const std::string& row : rows) EXPECT_EQ(78u, row.size()) << row;
    EXPECT_EQ("...", rows[20].substr(rows[20].find_last_not_of(" |") - 2, 3));
    EXPECT_EQ("|  word0 word1 word2", rows[2].substr(0, 20));

    std::vector<std::string> wide =
        TerminalMessenger::FrameLines(std::string(150, 'y'), ButtonSet::Ok, MessageIcon::Information);
    ASSERT_EQ(8u, wide.size());
    EXPECT_EQ("|  " + std::string(72, 'y') + "  |", wide[2]);
    EXPECT_EQ("|  " + std::string(72, 'y') + "  |", wide[3]);
    EXPECT_EQ("|  " + std::string(6, 'y') + std::string(66, ' ') + "  |", wide[4]);
}

std::string LastRow(const std::string& text, ButtonSet buttons) {
    return TerminalMessenger::FrameLines(text, buttons, MessageIcon::Question).back();
}

// Types `keys` once the frame is on the screen, as a user who reads the message first.
std::thread TypeAfterFrame(int screenFd, int keyboardFd, std::string keys, std::string* drawn,
                           std::string lastRow) {
    return std::thread([=] {
        while (drawn->find(lastRow) == std::string::npos) {
            // On a failure the keys are typed anyway, so that the messenger returns and the
            // test fails on its checks instead of hanging.
            if (!test::WaitReadable(screenFd)) break;
            char buffer[4096];
            ssize_t count = read(screenFd, buffer, sizeof buffer);
            if (count <= 0) break;
            drawn->append(buffer, static_cast<size_t>(count));
        }
        test::WriteText(keyboardFd, keys);
    });
}

TEST(TerminalMessenger, ShowDrawsTheFrameAndWaitsForAnyKey) {
    Pipe screenPipe;
    Pipe keyPipe;
    TerminalScreen screen(screenPipe.writeEnd);
    Keyboard keyboard(keyPipe.readEnd);
    TerminalMessenger messenger(screen, keyboard);

    test::WriteText(keyPipe.writeEnd, "k");  // typed before the message: must not answer it
    std::string drawn;
    std::thread typist = TypeAfterFrame(screenPipe.readEnd, keyPipe.writeEnd, "x", &drawn,
                                        "+--------------------------------+");
    messenger.Show("Can't open binary data file.", MessageIcon::Exclamation);
    typist.join();
    // The frame is 34 wide, centred on 80 columns (column 23), 6 rows centred on rows 0-23 (row 9).
    EXPECT_EQ(0u, drawn.find("\x1b[10;24H+-[!]- Feldrin Software Ombrel --+\x1b[11;24H|")) << drawn;
    EXPECT_NE(std::string::npos, drawn.find("\x1b[15;24H+--------------------------------+"));
    EXPECT_FALSE(keyboard.KeyWaiting());  // "x" was taken, "k" dropped
}

TEST(TerminalMessenger, AskWaitsForOneOfItsButtons) {
    Pipe screenPipe;
    Pipe keyPipe;
    TerminalScreen screen(screenPipe.writeEnd);
    Keyboard keyboard(keyPipe.readEnd);
    TerminalMessenger messenger(screen, keyboard);

    std::string drawn;
    std::thread typist = TypeAfterFrame(screenPipe.readEnd, keyPipe.writeEnd, "qc\x1b[AY", &drawn,
                                        LastRow("Overwrite?", ButtonSet::YesNo));
    EXPECT_EQ(Answer::Yes, messenger.Ask("Overwrite?", ButtonSet::YesNo, MessageIcon::Question));
    typist.join();

    drawn.clear();
    typist = TypeAfterFrame(screenPipe.readEnd, keyPipe.writeEnd, "c", &drawn,
                            LastRow("Resume?", ButtonSet::YesNoCancel));
    EXPECT_EQ(Answer::Cancel, messenger.Ask("Resume?", ButtonSet::YesNoCancel, MessageIcon::Question));
    typist.join();

    // Nobody left to answer: the safe answer.
    keyPipe.CloseWrite();
    EXPECT_EQ(Answer::Cancel, messenger.Ask("Resume?", ButtonSet::YesNoCancel, MessageIcon::Question));
    EXPECT_EQ(Answer::No, messenger.Ask("Overwrite?", ButtonSet::YesNo, MessageIcon::Question));
}

}  // namespace
}  // namespace ombrel
