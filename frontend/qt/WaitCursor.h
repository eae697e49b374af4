#pragma once

#include <QApplication>

namespace ombrel {

// The wait cursor over a piece of work: gone when the work ends by any path, exceptions included,
// or earlier through Release (before a message box, so that no box is answered under an hourglass).
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { Release(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    void Release() {
        if (!active_) return;
        active_ = false;
        QApplication::restoreOverrideCursor();
    }

private:
    bool active_ = true;
};

}  // namespace ombrel
