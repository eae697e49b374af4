#pragma once

// The draws file (".dra") of an estimation that saved its draws, free-format numbers: records of five
// integers (respondent, RLH x 1000, 0, P, -1 or 0) and P reals; a respondent's draws are
// consecutive, the same number for everyone. Tie Draws reads it twice: once to count the first
// respondent's draws, then to tie every draw.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/FileHandle.h"
#include "common/TextNumberScanner.h"
#include "common/TextSource.h"

namespace ombrel {

// The draws as a text that can be read from its start again.
class DrawsText {
public:
    virtual ~DrawsText() = default;
    // A source at the first byte of the draws. The source of an earlier pass is gone.
    virtual TextSource& FromStart() = 0;
};

class MemoryDrawsText final : public DrawsText {
public:
    explicit MemoryDrawsText(std::string text) : text_(std::move(text)) {}
    TextSource& FromStart() override { return source_.emplace(text_); }

private:
    std::string text_;
    std::optional<MemoryTextSource> source_;
};

// An open file, rewound for every pass after the first.
class FileDrawsText final : public DrawsText {
public:
    explicit FileDrawsText(FileHandle file) : file_(std::move(file)) {}
    TextSource& FromStart() override;

private:
    FileHandle file_;
    std::optional<FileTextSource> source_;
};

// The five integers that start a draw record.
struct DrawRecord {
    int header[5] = {0, 0, 0, 0, 0};
    int Respondent() const { return header[0]; }
    int ValueCount() const { return header[3]; }
};

// D: the length of the first respondent's run of records; a file of one respondent is all run.
// Throws OmbrelError with the user's message when a record is cut short, has other than valueCount
// values, or when there is no record at all (path names the file).
int CountDrawsPerRespondent(TextSource& source, const std::string& path, int valueCount);

// The tie pass's reading: one respondent's D draws at a time.
class RespondentDrawReader {
public:
    // The source stays owned by the caller; path names the file in messages.
    RespondentDrawReader(TextSource& source, std::string path, int valueCount, int drawsPerRespondent);

    // Reads the next respondent's draws, handing each draw's values to onDraw in file order (which
    // may change them). False, with nothing handed over, at the end of the draws. Throws OmbrelError
    // with the user's message when a record is cut short or holds a value that is not finite, has
    // other than valueCount values, or when a respondent has more or fewer draws than the first.
    bool ReadRespondent(const std::function<void(std::vector<double>&)>& onDraw);
    // The record of the last draw read.
    const DrawRecord& LastRecord() const { return record_; }

private:
    bool ReadDraw(int index);
    void ReadValues();

    TextNumberScanner scanner_;
    std::string path_;
    int drawsPerRespondent_;
    std::vector<double> draw_;
    DrawRecord record_;
    bool first_ = true;
    int respondent_ = 0;
};

}  // namespace ombrel
