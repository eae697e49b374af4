#include "frontend/ConsoleScreen.h"

#include <algorithm>

namespace ombrel {

namespace {

constexpr unsigned char kEscape = 0x1b;
constexpr unsigned char kBell = 0x07;
// CAN and SUB abandon any sequence under way.
constexpr unsigned char kCancel = 0x18;
constexpr unsigned char kSubstitute = 0x1a;

bool IsAbort(unsigned char byte) { return byte == kCancel || byte == kSubstitute; }

}  // namespace

ConsoleScreen::ConsoleScreen() { EraseDisplay(2); }

void ConsoleScreen::Feed(std::string_view bytes) {
    for (char c : bytes) Byte(static_cast<unsigned char>(c));
}

char ConsoleScreen::At(int row, int column) const {
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns) return ' ';
    return cells_[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

std::string ConsoleScreen::Row(int row) const {
    if (row < 0 || row >= kRows) return std::string();
    const auto& cells = cells_[static_cast<size_t>(row)];
    return std::string(cells.begin(), cells.end());
}

std::string ConsoleScreen::Text(int row, int column, size_t length) const {
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns) return std::string();
    return Row(row).substr(static_cast<size_t>(column), length);
}

std::optional<WindowPosition> ConsoleScreen::TakeMoveRequest() {
    std::optional<WindowPosition> request = moveRequest_;
    moveRequest_.reset();
    return request;
}

void ConsoleScreen::Byte(unsigned char byte) {
    switch (state_) {
        case State::Ground:
            if (byte == kEscape) {
                state_ = State::Escape;
            } else if (byte < 0x20) {
                Control(byte);
            } else if (byte != 0x7f) {
                Print(byte >= 0x80 && byte < 0xa0 ? '?' : byte);
            }
            return;
        case State::Escape:
            EscapeByte(byte);
            return;
        case State::EscapeIntermediate:
            if (byte == kEscape) {
                state_ = State::Escape;
            } else if (IsAbort(byte)) {
                state_ = State::Ground;
            } else if (byte < 0x20) {
                Control(byte);
            } else if (byte >= 0x30) {
                state_ = State::Ground;  // the final byte of a sequence we do not use
            }
            return;
        case State::Csi:
        case State::CsiIgnore:
            CsiByte(byte);
            return;
        case State::Osc:
            if (byte == kBell) {
                EndOsc();
                state_ = State::Ground;
            } else if (byte == kEscape) {
                state_ = State::OscEscape;
            } else if (IsAbort(byte)) {
                state_ = State::Ground;
            } else if (byte >= 0x20 && byte != 0x7f) {
                // Two more for the "0;" in front of the title.
                if (osc_.size() < kMaxTitleBytes + 2) osc_ += static_cast<char>(byte);
            }
            return;
        case State::OscEscape:
            if (byte == '\\') {
                EndOsc();
                state_ = State::Ground;
            } else {
                // An ESC that is no string terminator abandons the string and starts a sequence.
                EscapeByte(byte);
            }
            return;
        case State::String:
            if (byte == kEscape) {
                state_ = State::StringEscape;
            } else if (byte == kBell || IsAbort(byte)) {
                state_ = State::Ground;
            }
            return;
        case State::StringEscape:
            if (byte == '\\') {
                state_ = State::Ground;
            } else {
                EscapeByte(byte);
            }
            return;
    }
}

void ConsoleScreen::EscapeByte(unsigned char byte) {
    state_ = State::Ground;
    if (byte == '[') {
        state_ = State::Csi;
        privateMarker_ = 0;
        hasIntermediate_ = false;
        parameters_.fill(0);
        negative_.fill(false);
        parameterCount_ = 0;
        parameterStarted_ = false;
    } else if (byte == ']') {
        state_ = State::Osc;
        osc_.clear();
    } else if (byte == 'P' || byte == 'X' || byte == '^' || byte == '_') {
        state_ = State::String;  // device control and other strings: read to their end, unused
    } else if (byte == kEscape) {
        state_ = State::Escape;
    } else if (byte >= 0x20 && byte <= 0x2f) {
        state_ = State::EscapeIntermediate;
    } else if (byte < 0x20 && !IsAbort(byte)) {
        state_ = State::Escape;
        Control(byte);
    }
}

void ConsoleScreen::CsiByte(unsigned char byte) {
    if (byte == kEscape) {
        state_ = State::Escape;
        return;
    }
    if (IsAbort(byte)) {
        state_ = State::Ground;
        return;
    }
    if (byte < 0x20) {
        Control(byte);  // controls inside a sequence act at once
        return;
    }
    if (byte >= 0x40 && byte <= 0x7e) {
        if (state_ == State::Csi && !hasIntermediate_) Dispatch(byte);
        state_ = State::Ground;
        return;
    }
    if (state_ == State::CsiIgnore || byte >= 0x7f) return;

    const int index = std::max(parameterCount_, 1) - 1;
    if (byte >= '0' && byte <= '9') {
        if (hasIntermediate_) {
            state_ = State::CsiIgnore;
            return;
        }
        if (parameterCount_ == 0) parameterCount_ = 1;
        parameterStarted_ = true;
        if (index < kMaxParameters) {
            int& value = parameters_[static_cast<size_t>(index)];
            const int digit = byte - '0';
            value = value > (kMaxParameterValue - digit) / 10 ? kMaxParameterValue : value * 10 + digit;
        }
    } else if (byte == ';') {
        if (hasIntermediate_) {
            state_ = State::CsiIgnore;
            return;
        }
        // Counted no further than one past the kept ones: enough to know there were more.
        parameterCount_ = std::min(std::max(parameterCount_, 1) + 1, kMaxParameters + 1);
        parameterStarted_ = false;
    } else if (byte == '-' && !parameterStarted_ && !hasIntermediate_) {
        // A sign: the estimator's window position may be negative (a window near the screen's edge).
        if (parameterCount_ == 0) parameterCount_ = 1;
        parameterStarted_ = true;
        if (index < kMaxParameters) negative_[static_cast<size_t>(index)] = true;
    } else if (byte >= 0x3c && byte <= 0x3f) {
        if (parameterCount_ == 0 && privateMarker_ == 0 && !hasIntermediate_)
            privateMarker_ = static_cast<char>(byte);
        else
            state_ = State::CsiIgnore;
    } else if (byte == ':') {
        state_ = State::CsiIgnore;  // sub-parameters: none of ours
    } else {
        hasIntermediate_ = true;  // 0x20..0x2f
    }
}

int ConsoleScreen::Parameter(int index, int fallback) const {
    if (index >= std::min(parameterCount_, kMaxParameters)) return fallback;
    const int value = parameters_[static_cast<size_t>(index)];
    return negative_[static_cast<size_t>(index)] ? -value : value;
}

void ConsoleScreen::Dispatch(unsigned char final) {
    if (privateMarker_ == '?') {
        if (final != 'h' && final != 'l') return;
        for (int i = 0; i < std::min(parameterCount_, kMaxParameters); ++i) {
            if (Parameter(i, 0) == 25) cursorVisible_ = final == 'h';
        }
        return;
    }
    if (privateMarker_ != 0) return;
    switch (final) {
        case 'H':
        case 'f':
            row_ = std::clamp(Parameter(0, 1), 1, kRows) - 1;
            column_ = std::clamp(Parameter(1, 1), 1, kColumns) - 1;
            wrapPending_ = false;
            return;
        case 'J':
            EraseDisplay(Parameter(0, 0));
            return;
        case 'K':
            EraseLine(Parameter(0, 0));
            return;
        case 't':
            if (Parameter(0, 0) == 3 && parameterCount_ >= 3)
                moveRequest_ = WindowPosition{Parameter(1, 0), Parameter(2, 0)};
            return;
        default:
            return;
    }
}

void ConsoleScreen::EndOsc() {
    if (osc_.rfind("0;", 0) == 0) title_ = osc_.substr(2);
    osc_.clear();
}

void ConsoleScreen::Control(unsigned char byte) {
    switch (byte) {
        case '\r':
            column_ = 0;
            wrapPending_ = false;
            return;
        case '\n':
        case 0x0b:
        case 0x0c:
            LineFeed();
            column_ = 0;
            wrapPending_ = false;
            return;
        case '\b':
            if (!wrapPending_ && column_ > 0) --column_;
            wrapPending_ = false;
            return;
        case '\t':
            column_ = std::min((column_ / 8 + 1) * 8, kColumns - 1);
            wrapPending_ = false;
            return;
        default:
            return;  // BEL and the rest: nothing to show
    }
}

void ConsoleScreen::Print(unsigned char byte) {
    if (wrapPending_) {
        LineFeed();
        column_ = 0;
        wrapPending_ = false;
    }
    cells_[static_cast<size_t>(row_)][static_cast<size_t>(column_)] = static_cast<char>(byte);
    if (column_ == kColumns - 1)
        wrapPending_ = true;
    else
        ++column_;
}

void ConsoleScreen::LineFeed() {
    if (row_ < kRows - 1) {
        ++row_;
        return;
    }
    std::move(cells_.begin() + 1, cells_.end(), cells_.begin());
    cells_.back().fill(' ');
}

void ConsoleScreen::Fill(int row, int fromColumn, int toColumn) {
    auto& cells = cells_[static_cast<size_t>(row)];
    std::fill(cells.begin() + fromColumn, cells.begin() + toColumn, ' ');
}

void ConsoleScreen::EraseDisplay(int mode) {
    if (mode == 0) {
        Fill(row_, column_, kColumns);
        for (int row = row_ + 1; row < kRows; ++row) Fill(row, 0, kColumns);
    } else if (mode == 1) {
        for (int row = 0; row < row_; ++row) Fill(row, 0, kColumns);
        Fill(row_, 0, column_ + 1);
    } else if (mode == 2) {
        for (int row = 0; row < kRows; ++row) Fill(row, 0, kColumns);
    }
}

void ConsoleScreen::EraseLine(int mode) {
    if (mode == 0)
        Fill(row_, column_, kColumns);
    else if (mode == 1)
        Fill(row_, 0, column_ + 1);
    else if (mode == 2)
        Fill(row_, 0, kColumns);
}

}  // namespace ombrel
