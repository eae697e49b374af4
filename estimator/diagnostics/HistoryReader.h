#pragma once

// Reading the sampled-iteration histories back (estimator/files/Summary.h lays them out). Every value
// there is printed with exactly three decimals, which is what lets the ".cov" values, printed without
// a separator, be told apart even where a wide one touches the next: a value is optional blanks, an
// optional '-', digits, '.' and three digits.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/TextSource.h"

namespace ombrel {

// Reads one printed value from line at position (moved past it). False, with position unchanged,
// when none starts there.
bool ScanPrintedValue(std::string_view line, size_t& position, double& value);

// Reads every value of line into values (cleared first). False when something other than blanks
// follows the last value; errorColumn is then the 1-based column where reading stopped.
bool ScanPrintedLine(std::string_view line, std::vector<double>& values, size_t& errorColumn);

enum class HistoryKind {
    Levels,      // ".alp": the levelCount values of a line are the quantities
    Covariance,  // ".cov": the upper triangle of p x p; its diagonal, the p variances, are kept
};

// The used draws of one history: its last draws lines.
struct HistoryDraws {
    std::string path;
    int64_t lineCount = 0;  // every line of the file
    int valuesPerLine = 0;  // levelCount, or p(p+1)/2
    int keptPerLine = 0;    // levelCount, or p
    // The kept values of the last draws lines, oldest line first, keptPerLine per line.
    std::vector<double> kept;
};

// Reads the whole history (path names it in messages) and keeps its last draws lines. Throws
// OmbrelError naming the file and the line for a line with another value count than the first, a
// value that cannot be read, a ".cov" line that is no upper triangle, a read error, and a history of
// fewer than draws lines.
HistoryDraws ReadHistory(TextSource& text, const std::string& path, HistoryKind kind, int draws);
// The same over the file; a file that cannot be opened throws naming it.
HistoryDraws ReadHistoryFile(const std::string& path, HistoryKind kind, int draws);

// Opens path for reading as text; throws OmbrelError "The <what> <path> could not be opened." when
// it cannot.
std::unique_ptr<TextSource> OpenDiagnosticsInput(const std::string& path, const char* what);

}  // namespace ombrel
