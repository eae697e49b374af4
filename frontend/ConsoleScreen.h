#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/WindowCentring.h"

namespace ombrel {

// The estimator's console as the front end shows it: an 80 x 25 character grid fed with the bytes
// the program writes to its terminal, in chunks of any size (a sequence may be split anywhere).
//
// It follows exactly what the estimator writes:
//   printable text        at the cursor; after the last column the next character wraps to the next
//                         line (the wrap waits for that character, as on a VT100)
//   CR, LF, BS, TAB       LF also returns to column 0 (the pseudo-terminal turns LF into CR LF
//                         anyway) and scrolls the grid up at the bottom row; VT and FF act as LF
//   ESC [ row ; col H     cursor to the 1-based position, clamped to the grid; missing or 0 is 1
//   ESC [ n J, ESC [ n K  erase the display / the line: 0 from the cursor, 1 up to it, 2 all
//   ESC [ ? 25 l / h      hide / show the cursor
//   ESC ] 0 ; title BEL   the window title (ESC \ ends it too)
//   ESC [ 3 ; x ; y t     a request to move the window to pixel (x, y), kept until taken
// Everything else is read and ignored. The bytes are untrusted: parameters are capped in count and
// size, OSC strings in length, so nothing grows without bound.
//
// Characters: ASCII 0x20..0x7e and Latin-1 0xa0..0xff are kept as they are (the widget draws them as
// Latin-1); 0x80..0x9f, which are no characters, show as '?'. DEL is ignored. The title is kept as
// bytes; the widget reads it as UTF-8, since it carries the study's file name.
class ConsoleScreen {
public:
    static constexpr int kColumns = 80;
    static constexpr int kRows = 25;
    // Longest title kept; an OSC string is read to its end but stored only up to this.
    static constexpr size_t kMaxTitleBytes = 512;
    // Parameters of one CSI sequence kept; the rest are read and dropped.
    static constexpr int kMaxParameters = 16;
    // Larger numbers are read as this.
    static constexpr int kMaxParameterValue = 1000000;

    ConsoleScreen();

    void Feed(std::string_view bytes);

    // The character at (row, column), both from 0; a blank outside the grid.
    char At(int row, int column) const;
    // One row of 80 characters; empty outside the grid.
    std::string Row(int row) const;
    // length characters of a row from column on (cut at the right edge).
    std::string Text(int row, int column, size_t length) const;

    int CursorRow() const { return row_; }
    int CursorColumn() const { return column_; }
    bool CursorVisible() const { return cursorVisible_; }

    // The last title the program set; nothing before it set one.
    const std::optional<std::string>& Title() const { return title_; }

    // The pending window-move request, handed out once.
    std::optional<WindowPosition> TakeMoveRequest();

private:
    enum class State {
        Ground,
        Escape,
        EscapeIntermediate,
        Csi,
        CsiIgnore,
        Osc,
        OscEscape,
        String,
        StringEscape
    };

    void Byte(unsigned char byte);
    void Control(unsigned char byte);
    void Print(unsigned char byte);
    void LineFeed();
    void CsiByte(unsigned char byte);
    void Dispatch(unsigned char final);
    void EscapeByte(unsigned char byte);
    void EndOsc();
    void EraseDisplay(int mode);
    void EraseLine(int mode);
    void Fill(int row, int fromColumn, int toColumn);  // toColumn exclusive
    int Parameter(int index, int fallback) const;

    std::array<std::array<char, kColumns>, kRows> cells_{};
    int row_ = 0;
    int column_ = 0;
    // The cursor stands at the last column with a character written there: the next one wraps.
    bool wrapPending_ = false;
    bool cursorVisible_ = true;

    State state_ = State::Ground;
    // CSI: private marker ('?', '<', '=', '>' at the start), parameters, intermediates.
    char privateMarker_ = 0;
    bool hasIntermediate_ = false;
    std::array<int, kMaxParameters> parameters_{};
    std::array<bool, kMaxParameters> negative_{};
    int parameterCount_ = 0;  // parameters started so far, may pass kMaxParameters
    bool parameterStarted_ = false;

    std::string osc_;

    std::optional<std::string> title_;
    std::optional<WindowPosition> moveRequest_;
};

}  // namespace ombrel
