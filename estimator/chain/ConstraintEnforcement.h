#pragma once

#include <vector>

#include "estimator/chain/RespondentUpdate.h"
#include "estimator/files/AttributeModel.h"
#include "estimator/files/Constraints.h"

namespace ombrel {

// A violation below this is left alone with effects coding (dummy coding ties any violation).
inline constexpr double kTieTolerance = 1e-10;
// A tied pair ends this far above and below its mean, the first-named level on top.
inline constexpr double kTieOffset = 0.0001;
// Passes over the constraints of one attribute before dummy coding gives up (repeats after the first).
inline constexpr int kDummyPassLimit = 15000;
// Passes before effects coding gives up: over the attributes, over one attribute's constraints, and
// over the constraints of one interaction table alike.
inline constexpr int kEffectsPassLimit = 10000;
// The largest level count of an attribute whose interaction table is tied.
inline constexpr int kMaxTableLevels = 1000;

inline constexpr const char* kTooConstrictiveMessage = "The constraints are too constrictive.";
inline constexpr const char* kCannotSatisfyMessage =
    "Could not satisfy constraints.  Try using fewer constraints.";

// The constraints of a run bound to its model. Ties copies of parameter vectors (ParameterCount()
// values in the run's parameter order: main effects, interaction blocks pair by pair, None last) so
// that every ordering and sign holds; the chain itself keeps the untied values.
//
// All working storage, the interaction table included, is allocated once by the constructor: the
// respondent pass ties two vectors per respondent per iteration. The tying methods are const for the
// callers but use that storage, so one model must not tie on two threads at once.
class ConstraintModel : public ConstraintTies {
public:
    // Throws OmbrelError when a constraint does not fit the model (the constraints file's messages)
    // or the model cannot be expanded (LevelExpansion's message), or when an interacting attribute has
    // more than kMaxTableLevels levels.
    ConstraintModel(std::vector<Constraint> constraints, const AttributeModel& model, bool effectsCoding);

    int ConstraintCount() const { return static_cast<int>(constraints_.size()); }
    const std::vector<Constraint>& Constraints() const { return constraints_; }
    int ParameterCount() const { return parameterCount_; }
    bool EffectsCoding() const { return effectsCoding_; }

    // In place; the interface the respondent pass, the start values and the level expansion use.
    void ApplyConstraints(double* betas) const override;
    // destination = the tied source (ParameterCount() values each). source and destination may be the
    // same vector but must not otherwise overlap. Throws OmbrelError(kTooConstrictiveMessage) with
    // dummy coding, OmbrelError(kCannotSatisfyMessage) with effects coding, when the constraints
    // cannot be satisfied within the pass limits.
    void ApplyConstraints(const double* source, double* destination) const;

    void TieDummyCoded(const double* source, double* destination) const;
    // True when any value was tied or zeroed.
    bool TieEffectsCoded(const double* source, double* destination) const;
    // Effects coding, in place on betas; attribute counts from 0. True when anything was tied or
    // zeroed (the table's re-expression alone does not count: it only rounds).
    bool TieAttribute(int attribute, double* betas) const;
    bool TieInteractingAttribute(int attribute, double* betas) const;

private:
    // How an interacting attribute meets one partner.
    enum class PartnerKind { Table, LinearRow, MainOnly };
    struct Partner {
        PartnerKind kind = PartnerKind::MainOnly;
        int pair = -1;  // index into pairs_ for Table and LinearRow
    };
    // An estimated interaction block of attributes first < second.
    struct Pair {
        int first = 0;
        int second = 0;
        int blockStart = 0;
        std::vector<Constraint> constraints;  // those on first or second, in list order
    };

    // Construction steps: main-effect starts (returns the first interaction parameter; widest grows
    // to the most levels of a part-worth attribute), the interaction blocks (returns the largest
    // table; pairOf[i * n + j] indexes pairs_), the constraints per attribute and pair, the partners.
    int LayOutMainEffects(const AttributeModel& model, int& widest);
    size_t LayOutPairs(const AttributeModel& model, int next, std::vector<int>& pairOf);
    void AssignConstraints();
    void FindPartners(const AttributeModel& model, const std::vector<int>& pairOf);

    void CopyIn(const double* source, double* destination) const;
    bool TieTable(const Pair& pair, double* betas) const;
    bool TieLinearRow(int linear, const Pair& pair, double* betas) const;

    std::vector<Constraint> constraints_;
    bool effectsCoding_;
    int parameterCount_ = 0;
    std::vector<int> codes_;                            // diagonal code per attribute
    std::vector<int> levels_;                           // levels per attribute (1 for a linear attribute)
    std::vector<int> mainStart_;                        // first main-effect parameter per attribute
    std::vector<std::vector<Constraint>> byAttribute_;  // per attribute, its constraints in list order
    std::vector<unsigned char> hasInteraction_;
    std::vector<std::vector<Partner>> partners_;  // per attribute, partners in index order
    std::vector<Pair> pairs_;

    // The scratch of a tie, the calling thread's own (the respondent pass ties on several threads).
    double* Work() const;   // one attribute's level utilities
    double* Table() const;  // T[k][l] of one interaction table, row-major
    size_t workSize_ = 0;
    size_t tableSize_ = 0;
};

}  // namespace ombrel
