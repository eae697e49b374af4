#pragma once

#include <algorithm>
#include <vector>

#include "estimator/chain/LevelExpansion.h"

namespace ombrel {

// Expands parameter vectors of sampled iterations to one value per level, into storage sized once.
class LevelBuffer {
public:
    void Resize(int parameterCount, int levelCount) {
        input_.assign(static_cast<size_t>(parameterCount), 0.0);
        levels_.assign(static_cast<size_t>(std::max(levelCount, 1)), 0.0);
    }
    // The expansion of values (parameterCount of them); count becomes the number of levels written.
    const double* Expand(const LevelExpansion& expansion, const double* values, const ConstraintTies* ties,
                         int& count) {
        std::copy(values, values + input_.size(), input_.begin());
        count = ExpandToLevels(expansion, levels_.data(), false, input_.data(), ties);
        return levels_.data();
    }

private:
    std::vector<double> input_;
    std::vector<double> levels_;
};

}  // namespace ombrel
