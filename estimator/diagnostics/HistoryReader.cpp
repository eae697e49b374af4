#include "estimator/diagnostics/HistoryReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The side of the upper triangle of n values; 0 when n is not p(p+1)/2 for any p >= 1.
int TriangleSide(int n) {
    int p = static_cast<int>(std::sqrt(2.0 * n));
    while (p > 0 && int64_t{p} * (p + 1) / 2 > n) --p;
    while (int64_t{p + 1} * (p + 2) / 2 <= n) ++p;
    return int64_t{p} * (p + 1) / 2 == n && p > 0 ? p : 0;
}

class HistoryParser {
public:
    HistoryParser(const std::string& path, HistoryKind kind, int draws)
        : path_(path), kind_(kind), draws_(draws) {}

    void TakeLine(const std::string& line, int64_t lineNumber, HistoryDraws& history) {
        size_t column = 0;
        if (!ScanPrintedLine(line, values_, column)) {
            throw OmbrelError(
                Format("Line %lld of %s cannot be read at column %zu: a number with three "
                       "decimals was expected.",
                       static_cast<long long>(lineNumber), path_.c_str(), column));
        }
        const int count = static_cast<int>(values_.size());
        if (lineNumber == 1) StartWith(count, history);
        if (count != history.valuesPerLine) {
            throw OmbrelError(Format("Line %lld of %s holds %d values where %d were expected.",
                                     static_cast<long long>(lineNumber), path_.c_str(), count,
                                     history.valuesPerLine));
        }
        Keep(lineNumber, history);
    }

private:
    void StartWith(int count, HistoryDraws& history) {
        history.valuesPerLine = count;
        if (kind_ == HistoryKind::Levels) {
            if (count == 0) throw OmbrelError(Format("Line 1 of %s holds no values.", path_.c_str()));
            history.keptPerLine = count;
            return;
        }
        const int p = TriangleSide(count);
        if (p == 0) {
            throw OmbrelError(
                Format("Line 1 of %s holds %d values, which is not the upper triangle of a "
                       "covariance matrix.",
                       path_.c_str(), count));
        }
        history.keptPerLine = p;
        diagonal_.clear();
        for (int i = 0, index = 0; i < p; index += p - i, ++i) diagonal_.push_back(index);
    }

    // The kept values go to a ring of draws lines, grown only as lines arrive: a settings file's draw
    // count allocates nothing the history does not hold.
    void Keep(int64_t lineNumber, HistoryDraws& history) {
        const size_t width = static_cast<size_t>(history.keptPerLine);
        const size_t slot = static_cast<size_t>((lineNumber - 1) % draws_);
        if (history.kept.size() < (slot + 1) * width) history.kept.resize((slot + 1) * width);
        double* target = history.kept.data() + slot * width;
        if (kind_ == HistoryKind::Levels) {
            std::copy(values_.begin(), values_.end(), target);
        } else {
            for (size_t i = 0; i < width; ++i) target[i] = values_[static_cast<size_t>(diagonal_[i])];
        }
    }

    const std::string& path_;
    HistoryKind kind_;
    int draws_;
    std::vector<double> values_;
    std::vector<int> diagonal_;
};

}  // namespace

bool ScanPrintedValue(std::string_view line, size_t& position, double& value) {
    size_t at = position;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    const size_t begin = at;
    if (at < line.size() && line[at] == '-') ++at;
    const size_t digits = at;
    while (at < line.size() && IsDigit(line[at])) ++at;
    if (at == digits || at >= line.size() || line[at] != '.') return false;
    ++at;
    for (int decimal = 0; decimal < 3; ++decimal, ++at) {
        if (at >= line.size() || !IsDigit(line[at])) return false;
    }
    const auto result = std::from_chars(line.data() + begin, line.data() + at, value);
    if (result.ec != std::errc() || !std::isfinite(value)) return false;
    position = at;
    return true;
}

bool ScanPrintedLine(std::string_view line, std::vector<double>& values, size_t& errorColumn) {
    values.clear();
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t position = 0;
    double value = 0.0;
    while (ScanPrintedValue(line, position, value)) values.push_back(value);
    while (position < line.size() && (line[position] == ' ' || line[position] == '\t')) ++position;
    errorColumn = position + 1;
    return position == line.size();
}

HistoryDraws ReadHistory(TextSource& text, const std::string& path, HistoryKind kind, int draws) {
    if (draws < 1) throw OmbrelError(Format("No draws are used from %s.", path.c_str()));
    HistoryDraws history;
    history.path = path;
    HistoryParser parser(path, kind, draws);
    std::string line;
    while (text.ReadLine(line)) parser.TakeLine(line, ++history.lineCount, history);
    if (text.Failed()) throw OmbrelError(Format("%s could not be read to its end.", path.c_str()));
    if (history.lineCount < draws) {
        throw OmbrelError(Format("%s holds %lld lines, fewer than the %d draws the run used.", path.c_str(),
                                 static_cast<long long>(history.lineCount), draws));
    }
    // The ring's oldest line is the one after the last written.
    const size_t oldest =
        static_cast<size_t>(history.lineCount % draws) * static_cast<size_t>(history.keptPerLine);
    std::rotate(history.kept.begin(), history.kept.begin() + static_cast<std::ptrdiff_t>(oldest),
                history.kept.end());
    return history;
}

HistoryDraws ReadHistoryFile(const std::string& path, HistoryKind kind, int draws) {
    std::unique_ptr<TextSource> text = OpenDiagnosticsInput(path, "history file");
    return ReadHistory(*text, path, kind, draws);
}

std::unique_ptr<TextSource> OpenDiagnosticsInput(const std::string& path, const char* what) {
    FileHandle file;
    if (!file.Open(path, "rb"))
        throw OmbrelError(Format("The %s %s could not be opened.", what, path.c_str()));
    return std::make_unique<FileTextSource>(std::move(file));
}

}  // namespace ombrel
