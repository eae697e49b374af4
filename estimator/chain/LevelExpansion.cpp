#include "estimator/chain/LevelExpansion.h"

#include <string>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

[[noreturn]] void RejectModel(const std::string& reason) {
    throw OmbrelError("The qebatt.tmp file describes a model that cannot be estimated: " + reason + ".");
}

}  // namespace

LevelExpansion::LevelExpansion(const AttributeModel& model, bool effectsCoding)
    : effectsCoding_(effectsCoding) {
    const int n = model.attributeCount;
    if (n < 0 || static_cast<int>(model.levelsPerAttribute.size()) < n ||
        static_cast<int>(model.attributeCodes.size()) < n) {
        RejectModel("its attribute tables are incomplete");
    }
    auto code = [&](int i, int j) {
        const auto& row = model.attributeCodes[static_cast<size_t>(i)];
        if (static_cast<int>(row.size()) < n) RejectModel("its attribute tables are incomplete");
        return row[static_cast<size_t>(j)];
    };
    auto levels = [&](int i) { return model.levelsPerAttribute[static_cast<size_t>(i)]; };

    // Counts in 64 bits: an absurd file must be rejected, not overflow.
    long long parameters = 0;
    long long expanded = 0;
    constexpr long long kLimit = 1LL << 30;
    for (int i = 0; i < n; ++i) {
        const int c = code(i, i);
        if (c == 0) continue;
        Segment segment;
        segment.parameterStart = static_cast<int>(parameters);
        segment.levelStart = static_cast<int>(expanded);
        if (c < 0) {
            if (levels(i) != 1) {
                RejectModel(Format("attribute %d is linear but has %d levels", i + 1, levels(i)));
            }
            segment.kind = SegmentKind::Linear;
        } else {
            if (levels(i) < 1) RejectModel(Format("attribute %d has %d levels", i + 1, levels(i)));
            segment.kind = SegmentKind::PartWorth;
            segment.rows = levels(i);
            segment.freeRows = levels(i) - 1;
        }
        parameters += segment.freeRows;
        expanded += segment.rows;
        segments_.push_back(segment);
        if (parameters > kLimit || expanded > kLimit) RejectModel("it has too many levels");
    }
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            const int c = code(i, j);
            if (c == 0) continue;
            if (c < 0)
                RejectModel(Format("the interaction of attributes %d and %d has code %d", i + 1, j + 1, c));
            if (code(i, i) == 0 || code(j, j) == 0) {
                RejectModel(
                    Format("attributes %d and %d interact, but not both are estimated", i + 1, j + 1));
            }
            Segment segment;
            segment.kind = SegmentKind::Interaction;
            segment.parameterStart = static_cast<int>(parameters);
            segment.levelStart = static_cast<int>(expanded);
            segment.rows = levels(i);
            segment.columns = levels(j);
            segment.freeRows = code(i, i) < 0 ? levels(i) : levels(i) - 1;
            segment.freeColumns = code(j, j) < 0 ? levels(j) : levels(j) - 1;
            parameters += static_cast<long long>(segment.freeRows) * segment.freeColumns;
            expanded += static_cast<long long>(segment.rows) * segment.columns;
            segments_.push_back(segment);
            if (parameters > kLimit || expanded > kLimit) RejectModel("it has too many levels");
        }
    }
    if (model.hasNone) {
        Segment segment;
        segment.kind = SegmentKind::None;
        segment.parameterStart = static_cast<int>(parameters);
        segment.levelStart = static_cast<int>(expanded);
        ++parameters;
        ++expanded;
        segments_.push_back(segment);
    }
    if (expanded != model.levelCount) {
        RejectModel(Format("its attributes give %lld levels, not %d", expanded, model.levelCount));
    }
    parameterCount_ = static_cast<int>(parameters);
    levelCount_ = static_cast<int>(expanded);
}

int LevelExpansion::Expand(const double* params, double* out) const {
    for (const Segment& segment : segments_) {
        const double* p = params + segment.parameterStart;
        double* level = out + segment.levelStart;
        switch (segment.kind) {
            case SegmentKind::Linear:
            case SegmentKind::None:
                level[0] = p[0];
                break;
            case SegmentKind::PartWorth: {
                double sum = 0.0;
                for (int k = 0; k < segment.freeRows; ++k) {
                    level[k] = p[k];
                    sum += p[k];
                }
                level[segment.freeRows] = effectsCoding_ ? -sum : 0.0;
                break;
            }
            case SegmentKind::Interaction:
                ExpandInteraction(segment, p, level);
                break;
        }
    }
    return levelCount_;
}

// The table is rows x columns, row-major. Free cells take the parameters in row-major order; with
// effects coding the derived last column and last row make every row and column sum to zero, and the
// corner (both derived) is the sum of all free cells. With dummy coding derived cells are 0.
void LevelExpansion::ExpandInteraction(const Segment& segment, const double* p, double* cell) const {
    const int rows = segment.rows;
    const int columns = segment.columns;
    int next = 0;
    for (int l = 0; l < rows; ++l) {
        for (int m = 0; m < columns; ++m) {
            const bool isFree = l < segment.freeRows && m < segment.freeColumns;
            cell[l * columns + m] = isFree ? p[next++] : 0.0;
        }
    }
    if (!effectsCoding_) return;
    if (segment.freeColumns < columns) {
        for (int l = 0; l < segment.freeRows; ++l) {
            double sum = 0.0;
            for (int m = 0; m < segment.freeColumns; ++m) sum += cell[l * columns + m];
            cell[l * columns + columns - 1] = -sum;
        }
    }
    if (segment.freeRows < rows) {
        for (int m = 0; m < segment.freeColumns; ++m) {
            double sum = 0.0;
            for (int l = 0; l < segment.freeRows; ++l) sum += cell[l * columns + m];
            cell[(rows - 1) * columns + m] = -sum;
        }
    }
    if (segment.freeRows < rows && segment.freeColumns < columns) {
        double sum = 0.0;
        for (int l = 0; l < segment.freeRows; ++l) {
            for (int m = 0; m < segment.freeColumns; ++m) sum += cell[l * columns + m];
        }
        cell[rows * columns - 1] = sum;
    }
}

int ExpandToLevels(const LevelExpansion& expansion, double* out, bool applyConstraints, double* params,
                   const ConstraintTies* ties) {
    if (applyConstraints && ties != nullptr) ties->ApplyConstraints(params);
    return expansion.Expand(params, out);
}

void CheckParameterCount(const LevelExpansion& expansion, int parameterCount) {
    if (parameterCount != expansion.ParameterCount()) {
        throw OmbrelError(
            Format("The run has %d parameters per respondent, but the qebatt.tmp file describes %d.",
                   parameterCount, expansion.ParameterCount()));
    }
}

}  // namespace ombrel
