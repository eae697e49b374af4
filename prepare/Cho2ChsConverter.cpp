// Discrete-choice (".cho") to allocation (".chs") conversion.
//
// Input, free-format numbers (line breaks carry no meaning), per respondent:
//   respondent number, variable count V, attribute count A, task count T, None flag (0 or 1),
//   V respondent variables, then per task: concept count n (1 .. 1000) and response count r
//   (1 .. n), n rows of A reals, and 2r answer integers of which the first is the chosen concept
//   (0 none, n + 1 the None alternative).
// Output, one line per item:
//   "%d %d %d %d %d\n"              respondent number, V, A, T, None flag
//   "%d " per variable, then "\n"   only when V > 0
//   per task: "%d\n"                the row count n + None flag
//             per row: "<value> " per attribute, then "%d\n" with the row's points; the None row
//             comes last and is all zeros.
// Optional response file: whitespace-separated integers, one per output row (None rows included),
// read in order across the whole file; they replace the answers of the choice file.

#include "prepare/Cho2ChsConverter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "common/ByteStream.h"
#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "prepare/InputFile.h"

namespace ombrel {

namespace {

constexpr int32_t kMaxConcepts = 1000;
// A study holds at most 1000 attributes; a larger count can only be a damaged header, and would
// make the zero-filled rows of a task that runs out of numbers grow without bound.
constexpr int32_t kMaxAttributes = 1000;

FileHandle OpenForReading(const std::string& path, const char* what) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw OmbrelError(Format("The %s %s could not be opened (it is a folder).", what, path.c_str()));
    }
    FileHandle file;
    if (!file.Open(path, "rb")) {
        throw OmbrelError(
            Format("The %s %s could not be opened (%s).", what, path.c_str(), std::strerror(errno)));
    }
    return file;
}

// True when both names lead to one existing file (hard links and symbolic links included).
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

// Opening the target truncates it, so it must never be one of the inputs.
void RefuseToOverwriteAnInput(const std::string& sourcePath, const std::string& targetPath,
                              const std::string& responsePath) {
    if (SameFile(sourcePath, targetPath)) {
        throw OmbrelError(Format("The converted file %s would overwrite the data file %s.",
                                 targetPath.c_str(), sourcePath.c_str()));
    }
    if (!responsePath.empty() && SameFile(responsePath, targetPath)) {
        throw OmbrelError(Format("The converted file %s would overwrite the response file %s.",
                                 targetPath.c_str(), responsePath.c_str()));
    }
}

OmbrelError WriteFailure(const std::string& targetName) {
    return OmbrelError(
        Format("The file %s could not be written (%s).", targetName.c_str(), std::strerror(errno)));
}

// Each write goes to the stream and is flushed at once: the target then holds every respondent
// converted before a failure.
class FlushedFileSink final : public ByteSink {
public:
    explicit FlushedFileSink(std::FILE* file) : file_(file) {}

    bool Write(const void* data, size_t size) override {
        return std::fwrite(data, 1, size, file_) == size && std::fflush(file_) == 0;
    }

private:
    std::FILE* file_;
};

class ChsWriter {
public:
    ChsWriter(ByteSink& sink, const std::string& targetName) : sink_(sink), targetName_(targetName) {}

    void Put(const std::string& text) { buffer_ += text; }
    // Hands the buffered text to the sink, once per respondent and before a failure is reported.
    void Flush() {
        if (!buffer_.empty() && !sink_.Write(buffer_.data(), buffer_.size())) throw WriteFailure(targetName_);
        buffer_.clear();
    }

private:
    ByteSink& sink_;
    const std::string& targetName_;
    std::string buffer_;
};

struct ChoiceHeader {
    int32_t respondent = 0;
    int32_t variableCount = 0;
    int32_t attributeCount = 0;
    int32_t taskCount = 0;
    int32_t noneFlag = 0;
};

// The conversion of the respondents of one choice file, one after the other.
class ChoiceConversion {
public:
    ChoiceConversion(TextSource& data, TextSource* responses, ChsWriter& out, const std::string& dataName,
                     const std::string& responsesName)
        : data_(data, dataName), out_(out), dataName_(dataName) {
        if (responses != nullptr) responses_.emplace(*responses, responsesName);
    }

    // Converts the next respondent; false when the input has ended.
    bool ConvertRespondent();

private:
    bool ReadHeader(ChoiceHeader& header);
    void CheckHeader(const ChoiceHeader& header) const;
    // Copies the respondent variables; false when the input ended among them.
    bool CopyVariables(const ChoiceHeader& header);
    // Converts one task; false when the input ended in its header.
    bool ConvertTask(const ChoiceHeader& header);
    void CheckTaskHeader(int32_t respondent, int32_t conceptCount, int32_t responseCount);
    void ReadConceptRows(int32_t conceptCount, int32_t rowCount, int32_t attributeCount);
    // The row that gets the point, counted from 1; 0: none of them.
    int32_t ReadChoice(int32_t rowCount);
    void WriteRows(int32_t rowCount, int32_t attributeCount, int32_t chosenRow);
    // Writes what was converted so far, then fails with message.
    [[noreturn]] void Stop(const std::string& message);

    TextNumberScanner data_;
    std::optional<TextNumberScanner> responses_;
    ChsWriter& out_;
    const std::string& dataName_;
    std::vector<double> values_;  // the rows of one task, None row included
};

bool ChoiceConversion::ConvertRespondent() {
    ChoiceHeader header;
    if (!ReadHeader(header)) return false;
    CheckHeader(header);
    out_.Put(Format("%d %d %d %d %d\n", header.respondent, header.variableCount, header.attributeCount,
                    header.taskCount, header.noneFlag));
    bool complete = CopyVariables(header);
    for (int32_t task = 0; complete && task < header.taskCount; ++task) complete = ConvertTask(header);
    out_.Flush();
    return complete;
}

bool ChoiceConversion::ReadHeader(ChoiceHeader& header) {
    return data_.ReadInt(header.respondent) && data_.ReadInt(header.variableCount) &&
           data_.ReadInt(header.attributeCount) && data_.ReadInt(header.taskCount) &&
           data_.ReadInt(header.noneFlag);
}

void ChoiceConversion::CheckHeader(const ChoiceHeader& header) const {
    // The row count written below is n + None flag while only one None row is ever added: any
    // other flag would write a file whose counts do not match its rows.
    if (header.noneFlag != 0 && header.noneFlag != 1) {
        throw OmbrelError(
            Format("There is an error in the CHO file %s for respondent %d.  The None flag is %d; "
                   "it must be 0 or 1.",
                   dataName_.c_str(), header.respondent, header.noneFlag));
    }
    if (header.attributeCount < 0 || header.attributeCount > kMaxAttributes) {
        throw OmbrelError(
            Format("There is an error in the CHO file %s for respondent %d.  The number of "
                   "attributes is %d; it must be between 0 and %d.",
                   dataName_.c_str(), header.respondent, header.attributeCount, kMaxAttributes));
    }
}

bool ChoiceConversion::CopyVariables(const ChoiceHeader& header) {
    for (int32_t v = 0; v < header.variableCount; ++v) {
        int32_t variable = 0;
        if (!data_.ReadInt(variable)) return false;
        out_.Put(Format("%d ", variable));
    }
    if (header.variableCount > 0) out_.Put("\n");
    return true;
}

bool ChoiceConversion::ConvertTask(const ChoiceHeader& header) {
    int32_t conceptCount = 0;
    int32_t responseCount = 0;
    if (!(data_.ReadInt(conceptCount) && data_.ReadInt(responseCount))) return false;
    CheckTaskHeader(header.respondent, conceptCount, responseCount);
    const int32_t rowCount = conceptCount + header.noneFlag;
    out_.Put(Format("%d\n", rowCount));
    ReadConceptRows(conceptCount, rowCount, header.attributeCount);
    const int32_t chosenRow = responses_ ? 0 : ReadChoice(rowCount);
    WriteRows(rowCount, header.attributeCount, chosenRow);

    // The answers are passed over; without a response file the choice was read already.
    const int64_t skipCount = responses_ ? 2 * int64_t{responseCount} : 2 * int64_t{responseCount} - 1;
    for (int64_t i = 0; i < skipCount; ++i) data_.SkipInt();
    return true;
}

void ChoiceConversion::CheckTaskHeader(int32_t respondent, int32_t conceptCount, int32_t responseCount) {
    if (conceptCount < 1 || conceptCount > kMaxConcepts)
        Stop(ConceptCountMessage(respondent, std::time(nullptr)));
    if (responseCount < 1 || responseCount > conceptCount) {
        Stop(
            Format("There is an error in the CHO file for respondent %d.  The number of "
                   "responses must be at least 1 and no greater than the number of concepts.",
                   respondent));
    }
}

void ChoiceConversion::ReadConceptRows(int32_t conceptCount, int32_t rowCount, int32_t attributeCount) {
    // A number that cannot be read stays 0; the scanner does not move past it, so the rest of the
    // task reads as zeros and the next task header ends the conversion.
    values_.assign(static_cast<size_t>(rowCount) * static_cast<size_t>(attributeCount), 0.0);
    const size_t readCount = static_cast<size_t>(conceptCount) * static_cast<size_t>(attributeCount);
    for (size_t i = 0; i < readCount; ++i) {
        double value = 0.0;
        if (data_.ReadDouble(value)) values_[i] = value;
    }
}

int32_t ChoiceConversion::ReadChoice(int32_t rowCount) {
    int32_t choice = 0;
    if (!data_.ReadInt(choice)) choice = 0;
    if (choice < 0 || choice > rowCount) Stop("An answer in the data file is out of range.");
    return choice;
}

void ChoiceConversion::WriteRows(int32_t rowCount, int32_t attributeCount, int32_t chosenRow) {
    const size_t width = static_cast<size_t>(attributeCount);
    for (int32_t row = 0; row < rowCount; ++row) {
        for (size_t a = 0; a < width; ++a) {
            out_.Put(ChsValueText(values_[static_cast<size_t>(row) * width + a]));
            out_.Put(" ");
        }
        int32_t points = 0;
        if (responses_) {
            if (!responses_->ReadInt(points)) points = 0;
        } else {
            points = row + 1 == chosenRow ? 1 : 0;
        }
        out_.Put(Format("%d\n", points));
    }
}

void ChoiceConversion::Stop(const std::string& message) {
    out_.Flush();
    throw OmbrelError(message);
}

}  // namespace

std::string ChsValueText(double value) {
    std::string text = Format("%lf", value);
    // Only a fixed-point number has zeros worth dropping; "inf" and "nan" stay as they are.
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0') text.pop_back();
        while (!text.empty() && text.back() == '.') text.pop_back();
    }
    return text;
}

std::string ConceptCountMessage(int32_t respondentNumber, std::time_t now) {
    std::string message = Format(
        "There is an error in the CHO file for respondent %d.  The number of concepts must be at least 1.",
        respondentNumber);
    if (now % 4 == 0) message += "\n\nPlease do not defenestrate the software.";
    return message;
}

std::string ChsOutputName(const std::string& dataPath) {
    size_t slash = dataPath.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string name = dataPath.substr(nameStart);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    bool replaced = false;
    const std::string_view choice = kChoiceDataExtension;  // lower case, as the name now is
    for (size_t at = name.find(choice); at != std::string::npos; at = name.find(choice, at + choice.size())) {
        name[at + 3] = 's';
        replaced = true;
    }
    if (!replaced) return std::string();
    return dataPath.substr(0, nameStart) + name;
}

void Cho2ChsConvert(const std::string& sourcePath, const std::string& targetPath,
                    const std::string& responsePath) {
    RefuseToOverwriteAnInput(sourcePath, targetPath, responsePath);
    FileTextSource data(OpenForReading(sourcePath, "data file"));
    std::unique_ptr<FileTextSource> responses;
    if (!responsePath.empty()) {
        responses = std::make_unique<FileTextSource>(OpenForReading(responsePath, "response file"));
    }
    FileHandle target;
    if (!target.Open(targetPath, "wb")) {
        throw OmbrelError(
            Format("The file %s could not be created (%s).", targetPath.c_str(), std::strerror(errno)));
    }
    FlushedFileSink sink(target.Get());
    Cho2ChsConvert(data, responses.get(), sink, sourcePath, targetPath, responsePath);
    // A read error ends the scanners as the end of the file would: it must not pass for a complete
    // conversion.
    CheckReadError(data, sourcePath);
    if (responses) CheckReadError(*responses, responsePath);
    if (!target.Close()) throw WriteFailure(targetPath);
}

void Cho2ChsConvert(TextSource& data, TextSource* responses, ByteSink& target, const std::string& dataName,
                    const std::string& targetName, const std::string& responsesName) {
    ChsWriter out(target, targetName);
    ChoiceConversion conversion(data, responses, out, dataName, responsesName);
    try {
        while (conversion.ConvertRespondent()) {
        }
    } catch (const NumberTooLargeError&) {
        out.Flush();  // as every other refusal leaves what was converted so far
        throw;
    }
    out.Flush();
}

bool ConvertChoToChs(const std::string& dataPath, const std::string& responsePath, Messenger& messenger,
                     std::string* outputPath) {
    const std::string data = Trim(dataPath);
    const std::string responses = Trim(responsePath);
    std::error_code error;
    if (data.empty() || !std::filesystem::exists(data, error)) {
        messenger.Show(Format("Cannot locate %s.", data.c_str()), MessageIcon::Exclamation);
        return false;
    }
    if (!responses.empty() && !std::filesystem::exists(responses, error)) {
        messenger.Show(Format("Cannot locate %s.", responses.c_str()), MessageIcon::Exclamation);
        return false;
    }
    const std::string output = ChsOutputName(data);
    if (output.empty()) {
        messenger.Show(Format("The name of the data file %s does not contain \".cho\", so the converted file "
                              "would replace it.  Please name the data file <study>.cho.",
                              data.c_str()),
                       MessageIcon::Exclamation);
        return false;
    }
    try {
        Cho2ChsConvert(data, output, responses);
    } catch (const OmbrelError& failure) {
        messenger.Show(failure.what(), MessageIcon::Exclamation);
        return false;
    }
    if (outputPath != nullptr) *outputPath = output;
    messenger.Show("The conversion completed successfully.", MessageIcon::Information);
    return true;
}

}  // namespace ombrel
