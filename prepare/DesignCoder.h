#pragma once

#include <cstdint>
#include <vector>

#include "prepare/EffectsMatrix.h"
#include "prepare/ValuesFile.h"

namespace ombrel {

// A row holds at most this many coded columns; with the None column a prepared row has 1000.
inline constexpr int32_t kMaxCodedColumns = 999;
// The variable limit as the user is told it.
inline constexpr int32_t kMaxVariables = 1000;

// Codes one concept (its N level codes or data values) into its row of design columns:
//   main effects of the estimated attributes in attribute order: a part-worth attribute of K levels
//     gives K - 1 effects- or dummy-coded columns, a linear attribute one column with its value;
//   then per interacting pair a < b (a outer, b inner, both in attribute order) the products of
//     every main-effect column of a with every main-effect column of b, a's column outer.
// The None column is not part of the row; the builder adds it.
class DesignCoder {
public:
    // The coder keeps references: effects, levelCounts and levelValues must outlive it.
    DesignCoder(const EffectsMatrix& effects, const std::vector<int32_t>& levelCounts,
                const LevelValues& levelValues, bool effectsCoding);

    // Coded columns of a row as the model asks for them; may exceed kMaxCodedColumns, in which case
    // CodeConcept fails.
    int64_t ColumnCount() const { return columnCount_; }

    // Writes the row of the concept whose N numbers are x into row, which has room for
    // min(ColumnCount(), kMaxCodedColumns) values. Throws OmbrelError with "A level code in the data
    // file for a linear attribute was out of range." or "The maximum number of variables allowed is
    // 1000." when the 1000th column would be placed.
    void CodeConcept(const double* x, double* row) const;

private:
    const EffectsMatrix& effects_;
    const std::vector<int32_t>& levelCounts_;
    const LevelValues& levelValues_;
    bool effectsCoding_;
    int64_t columnCount_ = 0;
    // Per attribute: the first of its main-effect columns and how many it has (0 when not estimated).
    std::vector<int32_t> firstColumn_;
    std::vector<int32_t> width_;
};

// The level a data value stands for: value + 0.5, truncated toward zero. -1 for values that name
// no level at all (not a number, or too large for any level number).
int32_t LevelOfValue(double value);

}  // namespace ombrel
