#include "platform/WindowCentring.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "common/TextConversion.h"

namespace ombrel {

namespace {

std::optional<int> WholeInt(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX) return std::nullopt;
    while (*end != '\0' && IsBlank(*end)) ++end;
    if (*end != '\0') return std::nullopt;
    return static_cast<int>(value);
}

// C++ division truncates toward zero, as the rule wants; 64 bits keep the differences exact.
std::optional<int> Centre(int low, int high, int size) {
    int64_t position = int64_t{low} + ((int64_t{high} - low) - size) / 2;
    if (position < INT_MIN || position > INT_MAX) return std::nullopt;
    return static_cast<int>(position);
}

}  // namespace

std::optional<WindowRectangle> ParseWindowRectangle(const std::vector<std::string>& args) {
    if (args.size() < 4) return std::nullopt;
    std::optional<int> top = WholeInt(args[0]);
    std::optional<int> left = WholeInt(args[1]);
    std::optional<int> bottom = WholeInt(args[2]);
    std::optional<int> right = WholeInt(args[3]);
    if (!top || !left || !bottom || !right) return std::nullopt;
    return WindowRectangle{*top, *left, *bottom, *right};
}

std::optional<WindowPosition> CentreWindow(const WindowRectangle& rectangle, WindowSize size) {
    if (rectangle.top >= rectangle.bottom || rectangle.left >= rectangle.right) return std::nullopt;
    if (size.width <= 0 || size.height <= 0) return std::nullopt;
    std::optional<int> x = Centre(rectangle.left, rectangle.right, size.width);
    std::optional<int> y = Centre(rectangle.top, rectangle.bottom, size.height);
    if (!x || !y) return std::nullopt;
    return WindowPosition{*x, *y};
}

std::optional<WindowPosition> CentreOnRectangle(const std::vector<std::string>& args, WindowSize size) {
    std::optional<WindowRectangle> rectangle = ParseWindowRectangle(args);
    if (!rectangle) return std::nullopt;
    return CentreWindow(*rectangle, size);
}

std::optional<WindowSize> TerminalPixelSize(int fd) {
    winsize window{};
    if (ioctl(fd, TIOCGWINSZ, &window) != 0) return std::nullopt;
    if (window.ws_xpixel == 0 || window.ws_ypixel == 0) return std::nullopt;
    return WindowSize{window.ws_xpixel, window.ws_ypixel};
}

}  // namespace ombrel
