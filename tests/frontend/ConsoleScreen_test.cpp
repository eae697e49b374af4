// The console grid fed with what the estimator writes (produced by the estimator's own terminal
// code, so that both sides stay in step), split anywhere, and with hostile bytes.

#include "frontend/ConsoleScreen.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/TextConversion.h"
#include "platform/TerminalScreen.h"

namespace ombrel {
namespace {

// The bytes a TerminalScreen would write (it writes nowhere: fd -1).
class Bytes {
public:
    Bytes() : screen_(-1) {}
    TerminalScreen* operator->() { return &screen_; }
    std::string Take() {
        std::string bytes = screen_.Pending();
        screen_.Flush();
        return bytes;
    }

private:
    TerminalScreen screen_;
};

std::string Padded(const std::string& text, size_t width = ConsoleScreen::kColumns) {
    std::string row = text;
    row.resize(width, ' ');
    return row;
}

// The start of an estimator run: cleared screen, hidden cursor, title, header block, labels, status.
std::string EstimatorStart() {
    Bytes out;
    out->SetTitle("Feldrin Software Ombrel");
    out->Clear();
    out->HideCursor();
    out->SetTitle("Feldrin Software Ombrel - study");
    out->MoveTo(0, 0);
    out->Write(Format("Previous Iterations         %8d\n", 0));
    out->Write(Format("Preliminary iterations      %8d\n", 2000));
    out->Write(Format("Draws used per respondent   %8d\n", 1000));
    out->WriteAt(0, 45, Format("Number of respondents     %8d", 300));
    out->WriteAt(5, 45, "Random draws not saved");
    out->WriteAt(6, 0, "Iteration\nPct. Cert.\n");
    out->WriteAt(6, 29, "Average");
    out->WriteAt(6, 15, Format("%8d", 1234));
    out->WriteAt(7, 15, Format("%8.3lf", 0.5));
    out->WriteAt(11, 60, Format("%13d:%02d:%02d", 1, 2, 5));
    std::string status = "Press ESC to stop";
    status.resize(79, ' ');
    out->WriteAt(24, 0, status);
    out->MoveWindow(170, 130);
    std::string bytes = out.Take();
    out->ShowCursor();
    out.Take();
    return bytes;
}

void ExpectSameScreen(const ConsoleScreen& expected, const ConsoleScreen& actual,
                      const std::string& context) {
    for (int row = 0; row < ConsoleScreen::kRows; ++row)
        ASSERT_EQ(expected.Row(row), actual.Row(row)) << context << ", row " << row;
    EXPECT_EQ(expected.CursorRow(), actual.CursorRow()) << context;
    EXPECT_EQ(expected.CursorColumn(), actual.CursorColumn()) << context;
    EXPECT_EQ(expected.CursorVisible(), actual.CursorVisible()) << context;
    EXPECT_EQ(expected.Title(), actual.Title()) << context;
}

TEST(ConsoleScreen, ShowsTheEstimatorsStartExactly) {
    ConsoleScreen screen;
    EXPECT_TRUE(screen.CursorVisible());
    EXPECT_FALSE(screen.Title().has_value());
    screen.Feed(EstimatorStart());

    EXPECT_EQ(screen.Row(0),
              "Previous Iterations                0         Number of respondents          300 ");
    EXPECT_EQ(screen.Row(1), Padded("Preliminary iterations          2000"));
    EXPECT_EQ(screen.Row(2), Padded("Draws used per respondent       1000"));
    EXPECT_EQ(screen.Row(3), Padded(""));
    EXPECT_EQ(screen.Row(5), Padded(std::string(45, ' ') + "Random draws not saved"));
    EXPECT_EQ(screen.Row(6), Padded("Iteration          1234      Average"));
    EXPECT_EQ(screen.Row(7), Padded("Pct. Cert.        0.500"));
    EXPECT_EQ(screen.Text(11, 60, 19), "            1:02:05");
    EXPECT_EQ(screen.Row(24), Padded("Press ESC to stop"));
    EXPECT_EQ(screen.CursorRow(), 24);
    EXPECT_EQ(screen.CursorColumn(), 79);
    EXPECT_FALSE(screen.CursorVisible());
    EXPECT_EQ(screen.Title(), std::optional<std::string>("Feldrin Software Ombrel - study"));
    std::optional<WindowPosition> move = screen.TakeMoveRequest();
    ASSERT_TRUE(move.has_value());
    EXPECT_EQ(move->x, 170);
    EXPECT_EQ(move->y, 130);
    EXPECT_FALSE(screen.TakeMoveRequest().has_value());  // handed out once
}

TEST(ConsoleScreen, AChunkSplitAnywhereGivesTheSameScreen) {
    const std::string bytes = EstimatorStart() + "\x1b]0;split title\x1b\\" + "\x1b[?25h";
    ConsoleScreen whole;
    whole.Feed(bytes);
    for (size_t split = 0; split <= bytes.size(); ++split) {
        ConsoleScreen parts;
        parts.Feed(bytes.substr(0, split));
        parts.Feed(bytes.substr(split));
        ExpectSameScreen(whole, parts, "split at " + std::to_string(split));
        std::optional<WindowPosition> move = parts.TakeMoveRequest();
        ASSERT_TRUE(move.has_value()) << split;
        EXPECT_EQ(move->x, 170);
    }
    ConsoleScreen byteByByte;
    for (char c : bytes) byteByByte.Feed(std::string(1, c));
    ExpectSameScreen(whole, byteByByte, "byte by byte");
}

TEST(ConsoleScreen, CursorPositionsAreOneBasedAndClampedToTheGrid) {
    ConsoleScreen screen;
    screen.Feed("\x1b[5;10Ha");
    EXPECT_EQ(screen.At(4, 9), 'a');
    screen.Feed("\x1b[99;200Hb");
    EXPECT_EQ(screen.At(24, 79), 'b');
    screen.Feed("\x1b[0;0Hc");
    EXPECT_EQ(screen.At(0, 0), 'c');
    screen.Feed("\x1b[3Hd");  // column missing: 1
    EXPECT_EQ(screen.At(2, 0), 'd');
    screen.Feed("\x1b[;7He");  // row missing: 1
    EXPECT_EQ(screen.At(0, 6), 'e');
    screen.Feed("\x1b[99999999999999999999;99999999999999999999Hf");
    EXPECT_EQ(screen.At(24, 79), 'f');
    screen.Feed("\x1b[H");
    EXPECT_EQ(screen.CursorRow(), 0);
    EXPECT_EQ(screen.CursorColumn(), 0);
    screen.Feed("\x1b[-5;-5H");
    EXPECT_EQ(screen.CursorRow(), 0);
    EXPECT_EQ(screen.CursorColumn(), 0);
}

TEST(ConsoleScreen, TheLastColumnWrapsWithTheNextCharacterAndTheBottomRowScrolls) {
    // The part-worth line: 100 values of 8 characters wrap over rows 13 to 22.
    Bytes out;
    out->MoveTo(13, 0);
    for (int i = 0; i < 100; ++i) out->Write(Format("%7.2f ", i * 0.5));
    ConsoleScreen screen;
    screen.Feed(out.Take());
    EXPECT_EQ(screen.Text(13, 0, 16), "   0.00    0.50 ");
    EXPECT_EQ(screen.Text(14, 0, 8), "   5.00 ");  // the 11th value starts the second row
    EXPECT_EQ(screen.Text(22, 72, 8), "  49.50 ");
    EXPECT_EQ(screen.Row(23), Padded(""));
    EXPECT_EQ(screen.CursorRow(), 22);  // the wrap waits for a character
    EXPECT_EQ(screen.CursorColumn(), 79);

    // A line break at the bottom row, and a wrap there, scroll everything up by one row.
    ConsoleScreen bottom;
    bottom.Feed("top\x1b[25;1Hlast\nnew");
    EXPECT_EQ(bottom.Row(0), Padded(""));
    EXPECT_EQ(bottom.Row(23), Padded("last"));
    EXPECT_EQ(bottom.Row(24), Padded("new"));
    bottom.Feed("\x1b[25;80HXY");
    EXPECT_EQ(bottom.Row(23), Padded("new", 79) + "X");
    EXPECT_EQ(bottom.Row(24), Padded("Y"));

    // A full row followed by CR LF leaves no blank row between (no double line break).
    ConsoleScreen full;
    full.Feed(std::string(80, '=') + "\r\nnext");
    EXPECT_EQ(full.Row(1), Padded("next"));
}

TEST(ConsoleScreen, ControlCharactersMoveTheCursor) {
    ConsoleScreen screen;
    screen.Feed("abc\rX");
    EXPECT_EQ(screen.Row(0), Padded("Xbc"));
    screen.Feed("\b\bY");  // at column 0 a backspace stays there
    EXPECT_EQ(screen.Row(0), Padded("Ybc"));
    screen.Feed("\tT\tU");
    EXPECT_EQ(screen.At(0, 8), 'T');
    EXPECT_EQ(screen.At(0, 16), 'U');
    screen.Feed("\x1b[1;78H\t\tV");  // the last tab stop is the last column
    EXPECT_EQ(screen.At(0, 79), 'V');
    screen.Feed("\x1b[2;5Hline\nnext\a\x01\x7f");  // LF returns to column 0; BEL, SOH and DEL show nothing
    EXPECT_EQ(screen.Row(1), Padded("    line"));
    EXPECT_EQ(screen.Row(2), Padded("next"));
}

TEST(ConsoleScreen, EraseDisplayAndLine) {
    auto filled = [] {
        ConsoleScreen screen;
        for (int row = 1; row <= ConsoleScreen::kRows; ++row)
            screen.Feed(Format("\x1b[%d;1H", row) + std::string(80, '#'));
        screen.Feed("\x1b[3;5H");
        return screen;
    };
    ConsoleScreen all = filled();
    all.Feed("\x1b[2J");
    for (int row = 0; row < ConsoleScreen::kRows; ++row) EXPECT_EQ(all.Row(row), Padded("")) << row;
    EXPECT_EQ(all.CursorRow(), 2);  // erasing does not move the cursor
    EXPECT_EQ(all.CursorColumn(), 4);

    ConsoleScreen toEnd = filled();
    toEnd.Feed("\x1b[K");
    EXPECT_EQ(toEnd.Row(2), Padded("####"));
    EXPECT_EQ(toEnd.Row(3), std::string(80, '#'));
    ConsoleScreen toEndZero = filled();
    toEndZero.Feed("\x1b[0K");
    EXPECT_EQ(toEndZero.Row(2), Padded("####"));
    ConsoleScreen toCursor = filled();
    toCursor.Feed("\x1b[1K");
    EXPECT_EQ(toCursor.Row(2), "     " + std::string(75, '#'));
    ConsoleScreen line = filled();
    line.Feed("\x1b[2K");
    EXPECT_EQ(line.Row(2), Padded(""));
    EXPECT_EQ(line.Row(1), std::string(80, '#'));

    ConsoleScreen below = filled();
    below.Feed("\x1b[J");
    EXPECT_EQ(below.Row(1), std::string(80, '#'));
    EXPECT_EQ(below.Row(2), Padded("####"));
    EXPECT_EQ(below.Row(24), Padded(""));
    ConsoleScreen above = filled();
    above.Feed("\x1b[1J");
    EXPECT_EQ(above.Row(1), Padded(""));
    EXPECT_EQ(above.Row(2), "     " + std::string(75, '#'));
    EXPECT_EQ(above.Row(3), std::string(80, '#'));
}

TEST(ConsoleScreen, TitlesCursorVisibilityAndIgnoredSequences) {
    ConsoleScreen screen;
    screen.Feed("\x1b]0;first\a");
    EXPECT_EQ(screen.Title(), std::optional<std::string>("first"));
    screen.Feed("\x1b]0;second\x1b\\");
    EXPECT_EQ(screen.Title(), std::optional<std::string>("second"));
    screen.Feed("\x1b]2;other kind\a\x1b]0;cancelled\x18");  // OSC 2 is not ours; CAN abandons
    EXPECT_EQ(screen.Title(), std::optional<std::string>("second"));
    screen.Feed("\x1b]0;\xc3\xa9t\xc3\xa9\a");  // kept as bytes
    EXPECT_EQ(screen.Title(), std::optional<std::string>("\xc3\xa9t\xc3\xa9"));

    screen.Feed("\x1b[?25l");
    EXPECT_FALSE(screen.CursorVisible());
    screen.Feed("\x1b[?1049h\x1b[?1;25h");
    EXPECT_TRUE(screen.CursorVisible());

    // Colours, character sets, device queries, DCS strings, 't' other than 3: all read, none shown.
    screen.Feed(
        "\x1b[H\x1b[31;1m\x1b(B\x1b[>c\x1bPq#0;2;0;0;0\x1b\\\x1b[8;25;80t\x1b=\x1b[2 q\x1b[1:2m\x1b[<5hok");
    EXPECT_EQ(screen.Row(0), Padded("ok"));
    EXPECT_FALSE(screen.TakeMoveRequest().has_value());
    screen.Feed("\x1b[3;-20;-5t");  // a window near the screen's edge
    std::optional<WindowPosition> move = screen.TakeMoveRequest();
    ASSERT_TRUE(move.has_value());
    EXPECT_EQ(move->x, -20);
    EXPECT_EQ(move->y, -5);
    screen.Feed("\x1b[3;40t");  // y missing: no request
    EXPECT_FALSE(screen.TakeMoveRequest().has_value());
}

TEST(ConsoleScreen, BytesAbove127) {
    ConsoleScreen screen;
    screen.Feed(
        "a\xe9\x85\xff\x9b"
        "b");
    EXPECT_EQ(screen.Row(0), Padded("a\xe9?\xff?b"));
}

TEST(ConsoleScreen, HostileOutputStaysBounded) {
    ConsoleScreen screen;
    // A megabyte of title without end: read to the end, kept up to the cap.
    std::string osc = "\x1b]0;" + std::string(1 << 20, 'T');
    screen.Feed(osc);
    screen.Feed("\a after");
    ASSERT_TRUE(screen.Title().has_value());
    EXPECT_EQ(screen.Title()->size(), ConsoleScreen::kMaxTitleBytes);
    EXPECT_EQ(screen.Row(0), Padded(" after"));

    // Ten thousand parameters: the first two still place the cursor.
    std::string many = "\x1b[";
    for (int i = 0; i < 10000; ++i) many += "7;";
    screen.Feed(many + "H*");
    EXPECT_EQ(screen.At(6, 6), '*');
    std::string manyMoves = "\x1b[3";
    for (int i = 0; i < 10000; ++i) manyMoves += ";9";
    screen.Feed(manyMoves + "t");
    std::optional<WindowPosition> move = screen.TakeMoveRequest();
    ASSERT_TRUE(move.has_value());
    EXPECT_EQ(move->x, 9);

    // Random bytes, then a cancel and a fresh start: the grid still follows.
    std::mt19937 generator(20240601u);
    std::string noise(1 << 20, '\0');
    for (char& c : noise) c = static_cast<char>(generator() & 0xff);
    for (size_t offset = 0; offset < noise.size(); offset += 4093) screen.Feed(noise.substr(offset, 4093));
    EXPECT_GE(screen.CursorRow(), 0);
    EXPECT_LT(screen.CursorRow(), ConsoleScreen::kRows);
    EXPECT_GE(screen.CursorColumn(), 0);
    EXPECT_LT(screen.CursorColumn(), ConsoleScreen::kColumns);
    ASSERT_TRUE(!screen.Title().has_value() || screen.Title()->size() <= ConsoleScreen::kMaxTitleBytes);
    screen.Feed("\x18\x1b[2J\x1b[Hrecovered");
    EXPECT_EQ(screen.Row(0), Padded("recovered"));
    EXPECT_EQ(screen.Row(24), Padded(""));
}

TEST(ConsoleScreen, OutsideTheGridReadsAsBlank) {
    ConsoleScreen screen;
    screen.Feed("x");
    EXPECT_EQ(screen.At(-1, 0), ' ');
    EXPECT_EQ(screen.At(0, 80), ' ');
    EXPECT_EQ(screen.Row(25), "");
    EXPECT_EQ(screen.Text(0, 0, 500), Padded("x"));
    EXPECT_EQ(screen.Text(0, 90, 5), "");
    EXPECT_EQ(screen.Text(25, 5, 3), "");
    EXPECT_EQ(screen.Text(-1, 0, 3), "");
}

}  // namespace
}  // namespace ombrel
