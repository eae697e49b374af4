// The console screen's terminal parser over the bytes a program writes: fed in chunks whose size the
// first byte gives (1 to 256), it must end where the same bytes fed at once end, since a sequence may
// be split anywhere.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "frontend/ConsoleScreen.h"
#include "fuzz/FuzzSupport.h"

namespace {

bool SameScreen(const ombrel::ConsoleScreen& a, const ombrel::ConsoleScreen& b) {
    for (int row = 0; row < ombrel::ConsoleScreen::kRows; ++row)
        if (a.Row(row) != b.Row(row)) return false;
    return a.CursorRow() == b.CursorRow() && a.CursorColumn() == b.CursorColumn() &&
           a.CursorVisible() == b.CursorVisible() && a.Title() == b.Title();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t chunk = ombrel::fuzz::TakeOptionByte(data, size) + size_t{1};
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ombrel::ConsoleScreen whole;
    whole.Feed(bytes);
    ombrel::ConsoleScreen pieces;
    for (size_t at = 0; at < bytes.size(); at += chunk) pieces.Feed(bytes.substr(at, chunk));
    if (!SameScreen(whole, pieces)) std::abort();
    if (whole.CursorRow() < 0 || whole.CursorRow() >= ombrel::ConsoleScreen::kRows ||
        whole.CursorColumn() < 0 || whole.CursorColumn() >= ombrel::ConsoleScreen::kColumns)
        std::abort();
    (void)whole.TakeMoveRequest();
    return 0;
}
