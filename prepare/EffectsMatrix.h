#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ombrel {

// Codes of the effects matrix. The diagonal entry [i][i] says how attribute i enters the model; an
// off-diagonal entry [i][j] marks an estimated interaction of attributes i and j.
inline constexpr int32_t kNotEstimated = 0;
inline constexpr int32_t kPartWorth = 1;
inline constexpr int32_t kLinearWithValues = -1;
// Linear, with the numbers of the data file itself as values. Written to the label file as -1.
inline constexpr int32_t kLinearWithDataValues = INT32_MIN;
inline constexpr int32_t kInteraction = 1;

// N x N codes over the attributes, indexed from 0. Any nonzero diagonal entry means estimated, any
// negative one linear. The matrix is kept symmetric by SetInteraction.
class EffectsMatrix {
public:
    EffectsMatrix() = default;
    // All codes 0: nothing estimated.
    explicit EffectsMatrix(int attributeCount)
        : attributeCount_(attributeCount > 0 ? attributeCount : 0),
          codes_(static_cast<size_t>(attributeCount_) * static_cast<size_t>(attributeCount_), kNotEstimated) {
    }

    // Every attribute a part-worth attribute, no interactions: the model without an effects file.
    static EffectsMatrix Identity(int attributeCount) {
        EffectsMatrix matrix(attributeCount);
        for (int i = 0; i < matrix.attributeCount_; ++i) matrix.Set(i, i, kPartWorth);
        return matrix;
    }

    int AttributeCount() const { return attributeCount_; }

    int32_t At(int row, int column) const { return codes_[Index(row, column)]; }
    void Set(int row, int column, int32_t code) { codes_[Index(row, column)] = code; }

    int32_t Diagonal(int attribute) const { return At(attribute, attribute); }
    bool IsEstimated(int attribute) const { return Diagonal(attribute) != kNotEstimated; }
    bool IsLinear(int attribute) const { return Diagonal(attribute) < 0; }

    bool HasInteraction(int a, int b) const { return a != b && At(a, b) != kNotEstimated; }
    void SetInteraction(int a, int b) {
        Set(a, b, kInteraction);
        Set(b, a, kInteraction);
    }

private:
    size_t Index(int row, int column) const {
        return static_cast<size_t>(row) * static_cast<size_t>(attributeCount_) + static_cast<size_t>(column);
    }

    int attributeCount_ = 0;
    std::vector<int32_t> codes_;  // row-major
};

}  // namespace ombrel
