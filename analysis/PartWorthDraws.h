#pragma once

// The saved draws (".dra") of the estimation that wrote a part-worth file, free-format numbers: per
// respondent of the part-worth file, in its order, D records of
//   "%7d %7.0lf  0 P none"   respondent number, RLH x 1000, 0, P values, -1 or 0
//   P values                 the draw, in the part-worth file's order, ten a line
// Draw m of every respondent comes from the same iteration (of the same chain), so the draws of one
// index, taken over the respondents, are one posterior draw of the whole sample.

#include <functional>
#include <string>
#include <vector>

#include "analysis/PartWorthTable.h"
#include "common/TextSource.h"

namespace ombrel {

// Told how far a reading of the draws has come, once per respondent, so that a front end can show
// progress and stop a long reading. The default goes on to the end and shows nothing.
class DrawProgress {
public:
    virtual ~DrawProgress() = default;
    // The draws of respondentsRead of respondentCount respondents have been read. False stops the
    // reading: ForEachDraw then throws DrawsCancelled.
    virtual bool Continue(size_t respondentsRead, size_t respondentCount) {
        (void)respondentsRead;
        (void)respondentCount;
        return true;
    }
};

// Thrown when a DrawProgress stopped the reading; no result of the reading is complete.
struct DrawsCancelled {};

// Hands every draw to onDraw(respondent index in table, draw index, values), in file order, and
// returns D. Throws OmbrelError naming path and the line (or the respondent) for a damaged record,
// a record count per respondent other than the first respondent's, respondents other than the part
// worth file's, and draws whose averages are not the part-worth file's point estimates (which they
// are for the estimation that wrote both files, to the three decimals written).
int ForEachDraw(
    TextSource& source, const std::string& path, const PartWorthTable& table,
    const std::string& partWorthPath,
    const std::function<void(size_t respondent, int draw, const std::vector<double>& values)>& onDraw,
    DrawProgress* progress = nullptr);

}  // namespace ombrel
