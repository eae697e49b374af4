#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "common/StudyFiles.h"
#include "common/TextSource.h"

namespace ombrel::test {

// The files of the allocation study whose data file is studyName + ".chs", for the readers that
// take a study: its input files are studyName + ".att", ".eff" and so on.
inline StudyFiles StudyOf(const std::string& studyName) {
    return StudyFiles::ForDataFile(studyName + kAllocationDataExtension).value();
}

// Hands out its text and then fails, as a file does whose device reports a read error after the
// text: the reader meets the end with Failed() true.
class FailingTextSource final : public TextSource {
public:
    explicit FailingTextSource(std::string text) : text_(std::move(text)) {}

    bool Failed() const override { return failed_; }

protected:
    size_t Fill(char* buffer, size_t capacity) override {
        const size_t count = std::min(capacity, text_.size() - position_);
        std::memcpy(buffer, text_.data() + position_, count);
        position_ += count;
        if (count == 0) failed_ = true;
        return count;
    }

private:
    std::string text_;
    size_t position_ = 0;
    bool failed_ = false;
};

}  // namespace ombrel::test
