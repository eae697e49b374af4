#pragma once

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <string>

namespace ombrel::test {

// A pseudo-terminal pair: the tests type on the master side and the code under test reads the
// slave side, as it would read a real terminal.
struct Pty {
    int master = -1;
    int slave = -1;
    Pty() { openpty(&master, &slave, nullptr, nullptr, nullptr); }
    ~Pty() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    bool Ok() const { return master >= 0 && slave >= 0; }
};

// A pipe, both ends closed at the end.
struct Pipe {
    int readEnd = -1;
    int writeEnd = -1;
    Pipe() {
        int fds[2];
        if (pipe(fds) == 0) {
            readEnd = fds[0];
            writeEnd = fds[1];
        }
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void CloseRead() {
        if (readEnd >= 0) close(readEnd);
        readEnd = -1;
    }
    void CloseWrite() {
        if (writeEnd >= 0) close(writeEnd);
        writeEnd = -1;
    }
};

// Waits (generously) for fd to become readable; pty input is handed over asynchronously.
inline bool WaitReadable(int fd, int timeoutMs = 5000) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, timeoutMs) == 1;
}

inline void WriteText(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written <= 0) return;
        done += static_cast<size_t>(written);
    }
}

// Everything that arrives on fd until nothing more comes for quietMs.
inline std::string ReadAvailable(int fd, int quietMs = 200) {
    std::string text;
    char buffer[4096];
    while (WaitReadable(fd, quietMs)) {
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count <= 0) break;
        text.append(buffer, static_cast<size_t>(count));
    }
    return text;
}

}  // namespace ombrel::test
