#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/StudyFiles.h"
#include "common/TextSource.h"

namespace ombrel {

// A respondent record holds at most this many tasks; the subset has one flag for each.
inline constexpr int32_t kMaxTasks = 1000;

// Which task numbers of a respondent's record the build uses.
class TaskSubset {
public:
    // Every task kept.
    TaskSubset() { flags_.fill(true); }

    void Clear() { flags_.fill(false); }
    void Keep(int32_t taskNumber) {
        if (taskNumber >= 1 && taskNumber <= kMaxTasks) flags_[static_cast<size_t>(taskNumber - 1)] = true;
    }
    // taskNumber is 1-based; numbers outside 1 .. 1000 are never kept.
    bool IsKept(int32_t taskNumber) const {
        return taskNumber >= 1 && taskNumber <= kMaxTasks && flags_[static_cast<size_t>(taskNumber - 1)];
    }

private:
    std::array<bool, kMaxTasks> flags_{};
};

// Reads the study's subset file: the task numbers to keep, appended to report. No file:
// every task is kept and nothing is reported. Throws OmbrelError when a number lies outside 1 .. 1000.
TaskSubset ReadTaskSubsetFile(const StudyFiles& files, std::string& report);

// The same for a subset file that exists, read from source at its current position; path names the
// file in messages.
TaskSubset ReadTaskSubsetFile(TextSource& source, const std::string& path, std::string& report);

}  // namespace ombrel
