#include "prepare/DesignCoder.h"

#include <cmath>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

int32_t LevelOfValue(double value) {
    const double shifted = value + 0.5;
    // Converting a value outside int32 (or NaN) would be undefined; no attribute has that many
    // levels anyway.
    if (!(shifted > -1.0 && shifted < 2147483647.0)) return -1;
    return static_cast<int32_t>(shifted);
}

DesignCoder::DesignCoder(const EffectsMatrix& effects, const std::vector<int32_t>& levelCounts,
                         const LevelValues& levelValues, bool effectsCoding)
    : effects_(effects), levelCounts_(levelCounts), levelValues_(levelValues), effectsCoding_(effectsCoding) {
    const int n = effects.AttributeCount();
    firstColumn_.assign(static_cast<size_t>(n), 0);
    width_.assign(static_cast<size_t>(n), 0);
    int64_t count = 0;
    for (int i = 0; i < n; ++i) {
        if (!effects.IsEstimated(i)) continue;
        const int32_t levels =
            static_cast<size_t>(i) < levelCounts.size() ? levelCounts[static_cast<size_t>(i)] : 0;
        const int32_t width = effects.IsLinear(i) ? 1 : (levels > 1 ? levels - 1 : 0);
        if (effects.Diagonal(i) == kLinearWithValues &&
            (static_cast<size_t>(i) >= levelValues.size() ||
             levelValues[static_cast<size_t>(i)].size() != static_cast<size_t>(levels))) {
            throw OmbrelError(Format("Attribute %d has no value for each of its %d levels.", i + 1, levels));
        }
        firstColumn_[static_cast<size_t>(i)] = static_cast<int32_t>(count);
        width_[static_cast<size_t>(i)] = width;
        count += width;
    }
    for (int a = 0; a < n; ++a) {
        for (int b = a + 1; b < n; ++b) {
            if (effects.HasInteraction(a, b)) {
                count +=
                    static_cast<int64_t>(width_[static_cast<size_t>(a)]) * width_[static_cast<size_t>(b)];
            }
        }
    }
    columnCount_ = count;
}

void DesignCoder::CodeConcept(const double* x, double* row) const {
    int32_t placed = 0;
    auto place = [&](double value) {
        if (placed >= kMaxCodedColumns) {
            throw OmbrelError(Format("The maximum number of variables allowed is %d.", kMaxVariables));
        }
        row[placed++] = value;
    };

    const int n = effects_.AttributeCount();
    for (int i = 0; i < n; ++i) {
        const size_t index = static_cast<size_t>(i);
        const int32_t code = effects_.Diagonal(i);
        if (code == kNotEstimated) continue;
        if (code == kLinearWithDataValues) {
            place(x[i]);
            continue;
        }
        const int32_t levels = index < levelCounts_.size() ? levelCounts_[index] : 0;
        const int32_t level = LevelOfValue(x[i]);
        if (code < 0) {
            if (level < 0 || level > levels) {
                throw OmbrelError("A level code in the data file for a linear attribute was out of range.");
            }
            place(level == 0 ? 0.0 : levelValues_[index][static_cast<size_t>(level - 1)]);
            continue;
        }
        const double lastLevelValue = effectsCoding_ ? -1.0 : 0.0;
        for (int32_t column = 1; column < levels; ++column) {
            if (level == levels) {
                place(lastLevelValue);
            } else {
                place(column == level ? 1.0 : 0.0);
            }
        }
    }

    for (int a = 0; a < n; ++a) {
        for (int b = a + 1; b < n; ++b) {
            if (!effects_.HasInteraction(a, b)) continue;
            const int32_t firstA = firstColumn_[static_cast<size_t>(a)];
            const int32_t firstB = firstColumn_[static_cast<size_t>(b)];
            for (int32_t j = 0; j < width_[static_cast<size_t>(a)]; ++j) {
                for (int32_t k = 0; k < width_[static_cast<size_t>(b)]; ++k) {
                    place(row[firstA + j] * row[firstB + k]);
                }
            }
        }
    }
}

}  // namespace ombrel
