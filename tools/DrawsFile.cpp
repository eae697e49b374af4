#include "tools/DrawsFile.h"

#include <cmath>
#include <cstdio>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

enum class HeaderRead { Ok, End, Bad };

HeaderRead ReadDrawHeader(TextNumberScanner& scanner, DrawRecord& record) {
    if (scanner.AtEnd()) return HeaderRead::End;
    for (int& field : record.header) {
        int32_t value = 0;
        if (!scanner.ReadInt(value)) return HeaderRead::Bad;
        field = value;
    }
    return HeaderRead::Ok;
}

void CheckValueCount(const DrawRecord& record, int valueCount, const std::string& path) {
    if (record.ValueCount() != valueCount) {
        throw OmbrelError(
            Format("The draws file %s holds a draw of respondent %d with %d values, but the part-worth "
                   "file has %d values per respondent.",
                   path.c_str(), record.Respondent(), record.ValueCount(), valueCount));
    }
}

}  // namespace

TextSource& FileDrawsText::FromStart() {
    if (source_) std::rewind(file_.Get());
    return source_.emplace(file_.Get());
}

int CountDrawsPerRespondent(TextSource& source, const std::string& path, int valueCount) {
    constexpr const char* kIncomplete = "Incomplete <studyname>.dra file.";
    TextNumberScanner scanner(source, path);
    DrawRecord record;
    int first = 0;
    int draws = 0;
    for (;;) {
        const HeaderRead read = ReadDrawHeader(scanner, record);
        if (read == HeaderRead::End) break;
        if (read == HeaderRead::Bad) throw OmbrelError(kIncomplete);
        if (draws == 0) {
            first = record.Respondent();
        } else if (record.Respondent() != first) {
            break;
        }
        CheckValueCount(record, valueCount, path);
        double value = 0.0;
        for (int k = 0; k < valueCount; ++k) {
            if (!scanner.ReadDouble(value)) throw OmbrelError(kIncomplete);
        }
        ++draws;
    }
    if (draws == 0) throw OmbrelError(Format("The draws file %s holds no draws.", path.c_str()));
    return draws;
}

RespondentDrawReader::RespondentDrawReader(TextSource& source, std::string path, int valueCount,
                                           int drawsPerRespondent)
    : scanner_(source, path),
      path_(std::move(path)),
      drawsPerRespondent_(drawsPerRespondent),
      draw_(static_cast<size_t>(valueCount)) {}

bool RespondentDrawReader::ReadRespondent(const std::function<void(std::vector<double>&)>& onDraw) {
    for (int d = 0; d < drawsPerRespondent_; ++d) {
        if (!ReadDraw(d)) return false;
        onDraw(draw_);
    }
    first_ = false;
    return true;
}

// Draw index of the current respondent; false at the end of the draws where a respondent would start.
bool RespondentDrawReader::ReadDraw(int index) {
    const int previous = respondent_;
    const HeaderRead read = ReadDrawHeader(scanner_, record_);
    if (read == HeaderRead::End && index == 0) return false;
    if (read != HeaderRead::Ok) throw OmbrelError("The <studyname>.dra file is incomplete.");
    if (index == 0) {
        respondent_ = record_.Respondent();
        if (!first_ && respondent_ == previous) {
            throw OmbrelError(
                Format("The draws file %s holds more than %d draws of respondent %d; every "
                       "respondent must have the same number of draws.",
                       path_.c_str(), drawsPerRespondent_, respondent_));
        }
    } else if (record_.Respondent() != respondent_) {
        throw OmbrelError(
            Format("The draws file %s holds %d draws of respondent %d, but the first "
                   "respondent has %d; every respondent must have the same number of draws.",
                   path_.c_str(), index, respondent_, drawsPerRespondent_));
    }
    CheckValueCount(record_, static_cast<int>(draw_.size()), path_);
    ReadValues();
    return true;
}

void RespondentDrawReader::ReadValues() {
    for (double& value : draw_) {
        if (!scanner_.ReadDouble(value)) {
            throw OmbrelError(
                Format("The <studyname>.dra file encountered an error while reading respondent %d",
                       record_.Respondent()));
        }
        if (!std::isfinite(value)) {
            throw OmbrelError(
                Format("The draws file %s holds a value for respondent %d that is not a "
                       "finite number.",
                       path_.c_str(), record_.Respondent()));
        }
    }
}

}  // namespace ombrel
