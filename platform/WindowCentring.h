#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ombrel {

// The front end's main window in screen coordinates, as the estimator's command line gives it.
struct WindowRectangle {
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
};

// Pixel position of the estimator's window (its top left corner), or its size.
struct WindowPosition {
    int x = 0;
    int y = 0;
};

struct WindowSize {
    int width = 0;
    int height = 0;
};

// Reads top, left, bottom and right from the first four arguments (the command line without the
// program path). Each must be a whole decimal integer as strtol reads it (leading blanks, optional
// sign, digits, trailing blanks allowed) within the range of int; anything else ("12abc", "x", "")
// makes the line one without four integers. Arguments after the fourth are ignored.
std::optional<WindowRectangle> ParseWindowRectangle(const std::vector<std::string>& args);

// Where a window of the given size goes so that it is centred on the rectangle:
// x = left + ((right - left) - width) / 2, y = top + ((bottom - top) - height) / 2, both divisions
// truncating toward zero. No move (nullopt) unless top < bottom and left < right, when the size is
// unknown (not positive), or when the position falls outside the range of int.
std::optional<WindowPosition> CentreWindow(const WindowRectangle& rectangle, WindowSize size);

// Both steps on the command-line arguments.
std::optional<WindowPosition> CentreOnRectangle(const std::vector<std::string>& args, WindowSize size);

// The size in pixels that the terminal on fd reports (TIOCGWINSZ); nullopt when it is not a
// terminal or reports 0 (unknown).
std::optional<WindowSize> TerminalPixelSize(int fd);

}  // namespace ombrel
