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
#include <system_error>
#include <vector>

#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"

namespace ombrel {

namespace {

constexpr int32_t kMaxConcepts = 1000;
// A study holds at most 1000 attributes; a larger count can only be a damaged header, and would
// make the zero-filled rows of a task that runs out of numbers grow without bound.
constexpr int32_t kMaxAttributes = 1000;

using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::string& path, const char* what) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw OmbrelError(Format("The %s %s could not be opened (it is a folder).", what, path.c_str()));
    }
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
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

class ChsWriter {
public:
    ChsWriter(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}

    void Put(const std::string& text) { buffer_ += text; }
    // Hands the buffered text to the stream and flushes it, once per respondent.
    void Flush() {
        if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
            Fail();
        }
        buffer_.clear();
        if (std::fflush(file_) != 0) Fail();
    }

    [[noreturn]] void Fail() const {
        throw OmbrelError(
            Format("The file %s could not be written (%s).", path_.c_str(), std::strerror(errno)));
    }

private:
    std::FILE* file_;
    std::string path_;
    std::string buffer_;
};

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
    for (size_t at = name.find(".cho"); at != std::string::npos; at = name.find(".cho", at + 4)) {
        name[at + 3] = 's';
        replaced = true;
    }
    if (!replaced) return std::string();
    return dataPath.substr(0, nameStart) + name;
}

void Cho2ChsConvert(const std::string& sourcePath, const std::string& targetPath,
                    const std::string& responsePath) {
    const bool useResponses = !responsePath.empty();
    // Opening the target truncates it, so it must never be one of the inputs.
    if (SameFile(sourcePath, targetPath)) {
        throw OmbrelError(Format("The converted file %s would overwrite the data file %s.",
                                 targetPath.c_str(), sourcePath.c_str()));
    }
    if (useResponses && SameFile(responsePath, targetPath)) {
        throw OmbrelError(Format("The converted file %s would overwrite the response file %s.",
                                 targetPath.c_str(), responsePath.c_str()));
    }

    FilePtr source = OpenForReading(sourcePath, "data file");
    FilePtr responses;
    if (useResponses) responses = OpenForReading(responsePath, "response file");
    FilePtr target(std::fopen(targetPath.c_str(), "wb"));
    if (!target) {
        throw OmbrelError(
            Format("The file %s could not be created (%s).", targetPath.c_str(), std::strerror(errno)));
    }

    TextNumberScanner data(source.get());
    TextNumberScanner responseNumbers(responses.get());
    ChsWriter out(target.get(), targetPath);
    std::vector<double> values;  // the rows of one task, None row included

    for (;;) {
        int32_t respondent = 0;
        int32_t variableCount = 0;
        int32_t attributeCount = 0;
        int32_t taskCount = 0;
        int32_t noneFlag = 0;
        if (!(data.ReadInt(respondent) && data.ReadInt(variableCount) && data.ReadInt(attributeCount) &&
              data.ReadInt(taskCount) && data.ReadInt(noneFlag))) {
            break;
        }
        // The row count written below is n + None flag while only one None row is ever added: any
        // other flag would write a file whose counts do not match its rows.
        if (noneFlag != 0 && noneFlag != 1) {
            throw OmbrelError(
                Format("There is an error in the CHO file %s for respondent %d.  The None flag is %d; "
                       "it must be 0 or 1.",
                       sourcePath.c_str(), respondent, noneFlag));
        }
        if (attributeCount < 0 || attributeCount > kMaxAttributes) {
            throw OmbrelError(
                Format("There is an error in the CHO file %s for respondent %d.  The number of "
                       "attributes is %d; it must be between 0 and %d.",
                       sourcePath.c_str(), respondent, attributeCount, kMaxAttributes));
        }
        out.Put(Format("%d %d %d %d %d\n", respondent, variableCount, attributeCount, taskCount, noneFlag));

        bool inputEnded = false;
        for (int32_t v = 0; v < variableCount; ++v) {
            int32_t variable = 0;
            if (!data.ReadInt(variable)) {
                inputEnded = true;
                break;
            }
            out.Put(Format("%d ", variable));
        }
        if (inputEnded) {
            out.Flush();
            break;
        }
        if (variableCount > 0) out.Put("\n");

        for (int32_t task = 0; task < taskCount; ++task) {
            int32_t conceptCount = 0;
            int32_t responseCount = 0;
            if (!(data.ReadInt(conceptCount) && data.ReadInt(responseCount))) {
                inputEnded = true;
                break;
            }
            if (conceptCount < 1 || conceptCount > kMaxConcepts) {
                out.Flush();
                throw OmbrelError(ConceptCountMessage(respondent, std::time(nullptr)));
            }
            if (responseCount < 1 || responseCount > conceptCount) {
                out.Flush();
                throw OmbrelError(
                    Format("There is an error in the CHO file for respondent %d.  The number of "
                           "responses must be at least 1 and no greater than the number of concepts.",
                           respondent));
            }
            const int32_t rowCount = conceptCount + noneFlag;
            out.Put(Format("%d\n", rowCount));

            // A number that cannot be read stays 0; the scanner does not move past it, so the rest of
            // the task reads as zeros and the next task header ends the conversion.
            values.assign(static_cast<size_t>(rowCount) * static_cast<size_t>(attributeCount), 0.0);
            const size_t readCount = static_cast<size_t>(conceptCount) * static_cast<size_t>(attributeCount);
            for (size_t i = 0; i < readCount; ++i) {
                double value = 0.0;
                if (data.ReadDouble(value)) values[i] = value;
            }

            int32_t chosenRow = 0;  // counted from 1; 0: no row gets the point
            if (!useResponses) {
                int32_t choice = 0;
                if (!data.ReadInt(choice)) choice = 0;
                if (choice < 0 || choice > rowCount) {
                    out.Flush();
                    throw OmbrelError("An answer in the data file is out of range.");
                }
                chosenRow = choice;
            }

            for (int32_t row = 0; row < rowCount; ++row) {
                for (int32_t a = 0; a < attributeCount; ++a) {
                    out.Put(
                        ChsValueText(values[static_cast<size_t>(row) * static_cast<size_t>(attributeCount) +
                                            static_cast<size_t>(a)]));
                    out.Put(" ");
                }
                int32_t points = 0;
                if (useResponses) {
                    if (!responseNumbers.ReadInt(points)) points = 0;
                } else {
                    points = row + 1 == chosenRow ? 1 : 0;
                }
                out.Put(Format("%d\n", points));
            }

            const int64_t skipCount =
                useResponses ? 2 * int64_t{responseCount} : 2 * int64_t{responseCount} - 1;
            for (int64_t i = 0; i < skipCount; ++i) data.SkipInt();
        }
        out.Flush();
        if (inputEnded) break;
    }

    out.Flush();
    std::FILE* file = target.release();
    if (std::fclose(file) != 0) out.Fail();
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
