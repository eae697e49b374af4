#include "estimator/diagnostics/RespondentDiagnostics.h"

#include <charconv>
#include <cmath>
#include <memory>
#include <string_view>
#include <type_traits>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "estimator/diagnostics/HistoryReader.h"

namespace ombrel {

namespace {

// FormatDrawRecord writes ten values a line.
constexpr int kValuesPerDrawLine = 10;

// Reads the next number of type T after blanks; false when there is none. An integer beyond its type
// throws NumberTooLargeError naming path.
template <typename T>
bool NextNumber(const char*& at, const char* end, T& value, const std::string& path) {
    while (at < end && (*at == ' ' || *at == '\t')) ++at;
    const auto result = std::from_chars(at, end, value);
    if (std::is_integral_v<T> && result.ec == std::errc::result_out_of_range)
        throw NumberTooLargeError(path, std::string_view(at, static_cast<size_t>(result.ptr - at)));
    if (result.ec != std::errc()) return false;
    at = result.ptr;
    return true;
}

// One chain's draws file, read record by record.
class DrawsFileReader {
public:
    DrawsFileReader(const std::string& path, int levelCount)
        : path_(path), text_(OpenDiagnosticsInput(path, "draws file")), levelCount_(levelCount) {}

    bool AtEnd() { return text_->AtEnd(); }
    const std::string& Path() const { return path_; }

    // The next record's respondent number and its levelCount values into out.
    int32_t ReadRecord(double* out) {
        if (!ReadLine()) throw OmbrelError(Format("%s ends where a respondent was expected.", path_.c_str()));
        const int32_t respondent = ReadHeader();
        for (int read = 0; read < levelCount_;) {
            const int expected = std::min(kValuesPerDrawLine, levelCount_ - read);
            if (!ReadLine()) {
                throw OmbrelError(Format("%s ends inside respondent %d at line %lld.", path_.c_str(),
                                         respondent, static_cast<long long>(lineNumber_ + 1)));
            }
            size_t column = 0;
            if (!ScanPrintedLine(line_, values_, column)) {
                throw OmbrelError(
                    Format("Line %lld of %s (respondent %d) cannot be read at column %zu: a number "
                           "with three decimals was expected.",
                           static_cast<long long>(lineNumber_), path_.c_str(), respondent, column));
            }
            if (static_cast<int>(values_.size()) != expected) {
                throw OmbrelError(
                    Format("Line %lld of %s (respondent %d) holds %zu values where %d were expected.",
                           static_cast<long long>(lineNumber_), path_.c_str(), respondent, values_.size(),
                           expected));
            }
            for (double value : values_) out[read++] = value;
        }
        return respondent;
    }

    int64_t LineNumber() const { return lineNumber_; }

private:
    bool ReadLine() {
        if (!text_->ReadLine(line_)) {
            if (text_->Failed()) throw OmbrelError(Format("%s could not be read to its end.", path_.c_str()));
            return false;
        }
        ++lineNumber_;
        return true;
    }

    // "%7d %7.0lf  0 %d %d": respondent, RLH x 1000, 0, level count, None flag.
    int32_t ReadHeader() {
        const char* at = line_.data();
        const char* end = at + line_.size();
        int32_t respondent = 0;
        double rlh = 0.0;
        int zero = 0;
        int levels = 0;
        int none = 0;
        const bool read = NextNumber(at, end, respondent, path_) && NextNumber(at, end, rlh, path_) &&
                          NextNumber(at, end, zero, path_) && NextNumber(at, end, levels, path_) &&
                          NextNumber(at, end, none, path_);
        while (at < end && (*at == ' ' || *at == '\t' || *at == '\r')) ++at;
        if (!read || at != end || levels != levelCount_) {
            throw OmbrelError(
                Format("Line %lld of %s is not the first line of a respondent's draw of %d level "
                       "values (respondent, RLH, 0, level count, None).",
                       static_cast<long long>(lineNumber_), path_.c_str(), levelCount_));
        }
        return respondent;
    }

    std::string path_;
    std::unique_ptr<TextSource> text_;
    int levelCount_;
    int64_t lineNumber_ = 0;
    std::string line_;
    std::vector<double> values_;
};

// The extremes so far, by level index: the labels are copied once, at the end.
struct RespondentExtremes {
    int worstLevel = 0;
    int smallestEssLevel = 0;
};

void AddRespondent(RespondentDiagnostics& result, RespondentExtremes& extremes, int32_t respondent,
                   const std::vector<double>& draws, int chains, int levelCount, QuantityMeter& meter) {
    const size_t perValue = draws.size() / static_cast<size_t>(levelCount);
    for (int level = 0; level < levelCount; ++level) {
        const std::span<const double> value(draws.data() + static_cast<size_t>(level) * perValue, perValue);
        const double ess = meter.BulkEss(value, chains);
        if (!std::isnan(ess) && (result.essCount++ == 0 || ess < result.smallestEss)) {
            result.smallestEss = ess;
            result.smallestEssRespondent = respondent;
            extremes.smallestEssLevel = level;
        }
        const double rhat = meter.Rhat(value, chains);
        if (std::isnan(rhat)) {
            ++result.constantCount;
            continue;
        }
        if (!(rhat < kConvergedRhatBelow)) ++result.aboveThreshold;
        if (result.valueCount++ == 0 || rhat > result.worstRhat) {
            result.worstRhat = rhat;
            result.worstRespondent = respondent;
            extremes.worstLevel = level;
        }
    }
}

}  // namespace

RespondentDiagnostics DiagnoseRespondents(const std::vector<std::string>& drawsFiles, int draws,
                                          const std::vector<std::string>& levelLabels, QuantityMeter& meter) {
    const int levelCount = static_cast<int>(levelLabels.size());
    const int chains = static_cast<int>(drawsFiles.size());
    if (chains == 0 || levelCount == 0 || draws < 1) return RespondentDiagnostics();
    std::vector<std::unique_ptr<DrawsFileReader>> readers;
    for (const std::string& path : drawsFiles)
        readers.push_back(std::make_unique<DrawsFileReader>(path, levelCount));
    const size_t perValue = static_cast<size_t>(chains) * static_cast<size_t>(draws);
    std::vector<double> respondentDraws(perValue * static_cast<size_t>(levelCount));
    std::vector<double> record(static_cast<size_t>(levelCount));
    RespondentDiagnostics result;
    RespondentExtremes extremes;
    while (!readers[0]->AtEnd()) {
        int32_t respondent = 0;
        for (int c = 0; c < chains; ++c) {
            for (int d = 0; d < draws; ++d) {
                DrawsFileReader& reader = *readers[static_cast<size_t>(c)];
                const int32_t number = reader.ReadRecord(record.data());
                if (c == 0 && d == 0) respondent = number;
                if (number != respondent) {
                    throw OmbrelError(
                        Format("Line %lld of %s holds respondent %d where respondent %d was expected.",
                               static_cast<long long>(reader.LineNumber() - (levelCount + 9) / 10),
                               reader.Path().c_str(), number, respondent));
                }
                const size_t slot =
                    static_cast<size_t>(c) * static_cast<size_t>(draws) + static_cast<size_t>(d);
                for (size_t k = 0; k < record.size(); ++k) respondentDraws[k * perValue + slot] = record[k];
            }
        }
        AddRespondent(result, extremes, respondent, respondentDraws, chains, levelCount, meter);
    }
    for (const auto& reader : readers) {
        if (!reader->AtEnd()) {
            throw OmbrelError(
                Format("%s holds more respondents than %s.", reader->Path().c_str(), drawsFiles[0].c_str()));
        }
    }
    result.worstLabel = levelLabels[static_cast<size_t>(extremes.worstLevel)];
    result.smallestEssLabel = levelLabels[static_cast<size_t>(extremes.smallestEssLevel)];
    return result;
}

}  // namespace ombrel
