#pragma once

#include <vector>

#include "estimator/chain/RespondentUpdate.h"
#include "estimator/files/AttributeModel.h"

namespace ombrel {

// The linear map E from a parameter vector (parameterCount values: main effects in attribute order,
// interaction blocks pair by pair, None last) to the expanded vector (levelCount values: every level
// of each estimated attribute with its omitted last level restored, every cell of each interaction
// table, None last). Built once from the model; Expand runs for every respondent of every sampled
// iteration, so it only walks the precomputed segments and never allocates.
class LevelExpansion {
public:
    LevelExpansion() = default;
    // Throws OmbrelError naming qebatt.tmp when the model cannot be expanded consistently (a linear
    // attribute with other than one level, an estimated attribute without levels, an interaction of
    // an attribute that is not estimated, a negative interaction code, or a levelCount that does not
    // match the attributes).
    LevelExpansion(const AttributeModel& model, bool effectsCoding);

    int ParameterCount() const { return parameterCount_; }
    int LevelCount() const { return levelCount_; }
    bool EffectsCoding() const { return effectsCoding_; }

    // out (LevelCount() values) = E * params (ParameterCount() values). Returns LevelCount().
    int Expand(const double* params, double* out) const;

private:
    enum class SegmentKind { PartWorth, Linear, Interaction, None };
    struct Segment {
        SegmentKind kind = SegmentKind::Linear;
        int parameterStart = 0;
        int levelStart = 0;
        int rows = 1;      // levels (PartWorth) or table rows (Interaction)
        int columns = 1;   // table columns (Interaction)
        int freeRows = 1;  // rows that carry parameters: all of a linear attribute's, else all but the last
        int freeColumns = 1;
    };

    void ExpandInteraction(const Segment& segment, const double* params, double* out) const;

    std::vector<Segment> segments_;
    int parameterCount_ = 0;
    int levelCount_ = 0;
    bool effectsCoding_ = true;
};

// The level expansion of params into out; returns the number of values written. With applyConstraints
// and ties, params is first tied in place (the caller's vector changes); without ties (no constraints
// in use) nothing is tied.
int ExpandToLevels(const LevelExpansion& expansion, double* out, bool applyConstraints, double* params,
                   const ConstraintTies* ties);

// Throws OmbrelError when a run's parameter count (from the restart file or the start values) is not
// the one the attribute label file describes: expanding such betas would read past them.
void CheckParameterCount(const LevelExpansion& expansion, int parameterCount);

}  // namespace ombrel
