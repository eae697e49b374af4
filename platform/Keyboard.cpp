#include "platform/Keyboard.h"

#include <poll.h>

#include <cerrno>

#include "platform/StopSignals.h"
#include "platform/TerminalRestore.h"

namespace ombrel {

namespace {

// A runaway sequence (a terminal reply, pasted garbage) is cut off after this many bytes; what
// follows is read as ordinary keys.
constexpr int kMaxSequenceBytes = 64;

// How long WaitKey sleeps between looks at the stop request.
constexpr int kWaitSliceMs = 200;

}  // namespace

Keyboard::Keyboard(int fd, int escapeWaitMs) : fd_(fd), escapeWaitMs_(escapeWaitMs) {
    if (isatty(fd_) != 1 || tcgetattr(fd_, &savedModes_) != 0) return;
    termios modes = savedModes_;
    modes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL);
    modes.c_cc[VMIN] = 1;
    modes.c_cc[VTIME] = 0;
    // Recorded before the change, so that a signal arriving in between still finds the old modes.
    RegisterSavedModes(fd_, savedModes_);
    if (tcsetattr(fd_, TCSANOW, &modes) == 0) {
        modesChanged_ = true;
    } else {
        UnregisterSavedModes(fd_);
    }
}

Keyboard::~Keyboard() {
    if (!modesChanged_) return;
    tcsetattr(fd_, TCSANOW, &savedModes_);
    UnregisterSavedModes(fd_);
}

Keyboard::ByteResult Keyboard::NextByte(int timeoutMs, unsigned char& byte) {
    if (pushedBack_ >= 0) {
        byte = static_cast<unsigned char>(pushedBack_);
        pushedBack_ = -1;
        return ByteResult::Byte;
    }
    for (;;) {
        pollfd entry{fd_, POLLIN, 0};
        int ready = poll(&entry, 1, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) {
                if (timeoutMs < 0 && StopRequested()) return ByteResult::End;
                continue;
            }
            return ByteResult::End;
        }
        if (ready == 0) return ByteResult::Timeout;
        ssize_t count = read(fd_, &byte, 1);
        if (count == 1) return ByteResult::Byte;
        if (count < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        return ByteResult::End;
    }
}

int Keyboard::ReadAfterEscape() {
    unsigned char byte = 0;
    if (NextByte(escapeWaitMs_, byte) != ByteResult::Byte) return kEscape;
    if (byte == kEscape) {
        // ESC pressed twice: the first is a key of its own, the second is looked at next time.
        pushedBack_ = byte;
        return kEscape;
    }
    if (byte == '[' || byte == 'O') {
        // CSI and SS3: parameter and intermediate bytes (0x20..0x3f), then one final byte.
        for (int i = 0; i < kMaxSequenceBytes; ++i) {
            if (NextByte(escapeWaitMs_, byte) != ByteResult::Byte) break;
            if (byte == kEscape) {
                pushedBack_ = byte;  // a cut-off sequence followed by a real ESC
                break;
            }
            if (byte < 0x20 || byte > 0x3f) break;
        }
        return kNoKey;
    }
    if (byte == ']' || byte == 'P' || byte == '_' || byte == '^' || byte == 'X') {
        // String sequences (terminal replies): up to BEL or ESC backslash.
        bool afterEscape = false;
        for (int i = 0; i < kMaxSequenceBytes; ++i) {
            if (NextByte(escapeWaitMs_, byte) != ByteResult::Byte) break;
            if (byte == '\a' || (afterEscape && byte == '\\')) break;
            afterEscape = byte == kEscape;
        }
        return kNoKey;
    }
    // Alt+key.
    return kNoKey;
}

bool Keyboard::KeyWaiting() {
    if (pushedBack_ >= 0) return true;
    pollfd entry{fd_, POLLIN, 0};
    while (poll(&entry, 1, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

int Keyboard::ReadKey() {
    if (!KeyWaiting()) return kNoKey;
    unsigned char byte = 0;
    if (NextByte(0, byte) != ByteResult::Byte) return kNoKey;
    if (byte == kEscape) return ReadAfterEscape();
    return byte;
}

void Keyboard::DiscardPending() {
    pushedBack_ = -1;
    unsigned char byte = 0;
    // Bounded, so that an endless source (a regular file is always "ready") cannot hold us here.
    for (int i = 0; i < 65536; ++i) {
        if (NextByte(0, byte) != ByteResult::Byte) break;
    }
    if (modesChanged_) tcflush(fd_, TCIFLUSH);
}

int Keyboard::WaitKey() {
    for (;;) {
        if (StopRequested()) return kNoKey;
        unsigned char byte = 0;
        ByteResult result = NextByte(kWaitSliceMs, byte);
        if (result == ByteResult::End) return kNoKey;
        if (result == ByteResult::Timeout) continue;
        if (byte != kEscape) return byte;
        int key = ReadAfterEscape();
        if (key != kNoKey) return key;
    }
}

}  // namespace ombrel
