#pragma once

#include <termios.h>
#include <unistd.h>

namespace ombrel {

// The estimator's keyboard: polled once per iteration, never blocking the loop.
//
// On a terminal the constructor switches off canonical input and echo (signals stay on, so Ctrl+C
// still interrupts) and records the old modes with RestoreTerminal; the destructor puts them back.
// On anything else (a pipe, /dev/null) the modes are left alone and the bytes are read as keys.
// One Keyboard per terminal at a time.
//
// Keys are single bytes. A lone ESC byte is ESC (27). A sequence that starts with ESC (arrow keys
// "ESC [ A", function keys "ESC O P" or "ESC [ 1 5 ~", Alt+key "ESC x") is read whole and reported
// as kNoKey, so that it never stops a run.
class Keyboard {
public:
    static constexpr int kNoKey = -1;
    static constexpr int kEscape = 27;

    // escapeWaitMs: how long a byte after ESC may take to count as part of a sequence.
    explicit Keyboard(int fd = STDIN_FILENO, int escapeWaitMs = 30);
    ~Keyboard();
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    // True when input is waiting (poll with timeout 0). End of input also counts as waiting; the
    // ReadKey that follows returns kNoKey.
    bool KeyWaiting();
    // The next key, or kNoKey for an escape sequence, end of input or nothing waiting. Blocks at most
    // for the escape wait (and for a byte only when one is waiting).
    int ReadKey();
    // Reads and drops everything waiting.
    void DiscardPending();
    // Blocks until a key arrives and returns it; escape sequences are skipped. Returns kNoKey at the
    // end of input, on a read error, or once a stop is requested (StopRequested), so that a closed
    // terminal never leaves the process waiting.
    int WaitKey();

    bool IsTerminal() const { return modesChanged_; }

private:
    enum class ByteResult { Byte, Timeout, End };
    // One byte, waiting at most timeoutMs (negative: without limit).
    ByteResult NextByte(int timeoutMs, unsigned char& byte);
    // Reads the rest of a sequence whose ESC has been read; returns the key it stands for.
    int ReadAfterEscape();

    int fd_;
    int escapeWaitMs_;
    bool modesChanged_ = false;
    termios savedModes_{};
    // A byte read too far (the second ESC of "ESC ESC"), handed out first.
    int pushedBack_ = -1;
};

}  // namespace ombrel
