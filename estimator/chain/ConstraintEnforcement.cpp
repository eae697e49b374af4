#include "estimator/chain/ConstraintEnforcement.h"

#include <algorithm>
#include <cstring>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/chain/LevelExpansion.h"

namespace ombrel {

namespace {

// Moves x[a] and x[b] to their mean, a a hair above b; their sum, and so any zero sum, is kept.
inline void Tie(double& a, double& b) {
    const double mean = (a + b) / 2.0;
    a = mean + kTieOffset;
    b = mean - kTieOffset;
}

// Repeats pass() while it reports a change; the pass numbered limit + 1 may not change anything.
template <typename PassFunction>
bool RepeatPasses(int limit, const char* message, PassFunction pass) {
    bool anyChange = false;
    for (int passes = 1;; ++passes) {
        if (!pass()) return anyChange;
        anyChange = true;
        if (passes > limit) throw OmbrelError(message);
    }
}

// A sign condition on one value: levelA > 0 wants it not below -tolerance, levelA < 0 not above.
inline bool ZeroAgainstSign(int levelA, double& value, double tolerance) {
    if ((levelA > 0 && value < -tolerance) || (levelA < 0 && value > tolerance)) {
        value = 0.0;
        return true;
    }
    return false;
}

}  // namespace

namespace {

// The attribute code of row i, column j of the model's code matrix.
int Code(const AttributeModel& model, int i, int j) {
    return model.attributeCodes[static_cast<size_t>(i)][static_cast<size_t>(j)];
}

}  // namespace

ConstraintModel::ConstraintModel(std::vector<Constraint> constraints, const AttributeModel& model,
                                 bool effectsCoding)
    : constraints_(std::move(constraints)), effectsCoding_(effectsCoding) {
    // Validates the model's shape and gives the parameter count the run uses.
    const LevelExpansion expansion(model, effectsCoding);
    parameterCount_ = expansion.ParameterCount();
    for (const Constraint& constraint : constraints_) CheckConstraint(constraint, model, !effectsCoding);

    const size_t n = static_cast<size_t>(model.attributeCount);
    codes_.resize(n);
    levels_.resize(n);
    mainStart_.resize(n);
    byAttribute_.resize(n);
    hasInteraction_.assign(n, 0);
    partners_.resize(n);

    int widest = 2;
    int next = LayOutMainEffects(model, widest);
    std::vector<int> pairOf(n * n, -1);
    const size_t tableSize = LayOutPairs(model, next, pairOf);
    AssignConstraints();
    FindPartners(model, pairOf);
    workSize_ = static_cast<size_t>(widest) + 1;
    tableSize_ = tableSize;
}

namespace {

// Each thread's scratch for ties, grown to the largest model the thread has tied with and kept.
double* ThreadScratch(int which, size_t size) {
    thread_local std::vector<double> scratch[2];
    std::vector<double>& values = scratch[which];
    if (values.size() < size) values.resize(size, 0.0);
    return values.data();
}

}  // namespace

double* ConstraintModel::Work() const { return ThreadScratch(0, workSize_); }
double* ConstraintModel::Table() const { return ThreadScratch(1, tableSize_); }

int ConstraintModel::LayOutMainEffects(const AttributeModel& model, int& widest) {
    int next = 0;
    for (int i = 0; i < model.attributeCount; ++i) {
        codes_[static_cast<size_t>(i)] = Code(model, i, i);
        levels_[static_cast<size_t>(i)] = model.levelsPerAttribute[static_cast<size_t>(i)];
        mainStart_[static_cast<size_t>(i)] = next;
        if (Code(model, i, i) > 0) {
            next += levels_[static_cast<size_t>(i)] - 1;
            widest = std::max(widest, levels_[static_cast<size_t>(i)]);
        } else if (Code(model, i, i) < 0) {
            next += 1;
        }
    }
    return next;
}

size_t ConstraintModel::LayOutPairs(const AttributeModel& model, int next, std::vector<int>& pairOf) {
    const int n = model.attributeCount;
    size_t tableSize = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (Code(model, i, j) == 0) continue;  // LevelExpansion refused the other inconsistent codes
            Pair pair;
            pair.first = i;
            pair.second = j;
            pair.blockStart = next;
            const int rows = Code(model, i, i) > 0 ? levels_[static_cast<size_t>(i)] - 1 : 1;
            const int columns = Code(model, j, j) > 0 ? levels_[static_cast<size_t>(j)] - 1 : 1;
            next += rows * columns;
            if (Code(model, i, i) > 0 && Code(model, j, j) > 0) {
                const int li = levels_[static_cast<size_t>(i)];
                const int lj = levels_[static_cast<size_t>(j)];
                if ((li > kMaxTableLevels || lj > kMaxTableLevels)) {
                    throw OmbrelError(
                        Format("Attributes %d and %d interact with %d and %d levels; constraints can "
                               "be tied in interactions of at most %d levels.",
                               i + 1, j + 1, li, lj, kMaxTableLevels));
                }
                tableSize = std::max(tableSize, static_cast<size_t>(li) * static_cast<size_t>(lj));
            }
            pairOf[static_cast<size_t>(i) * static_cast<size_t>(n) + static_cast<size_t>(j)] =
                static_cast<int>(pairs_.size());
            pairs_.push_back(std::move(pair));
        }
    }
    return tableSize;
}

void ConstraintModel::AssignConstraints() {
    for (const Constraint& constraint : constraints_) {
        const int a = constraint.attribute - 1;
        byAttribute_[static_cast<size_t>(a)].push_back(constraint);
        for (Pair& pair : pairs_) {
            if (pair.first == a || pair.second == a) pair.constraints.push_back(constraint);
        }
    }
}

void ConstraintModel::FindPartners(const AttributeModel& model, const std::vector<int>& pairOf) {
    const int n = model.attributeCount;
    for (int i = 0; i < n; ++i) {
        for (int d = 0; d < n; ++d) {
            if (d == i || Code(model, i, d) == 0) continue;
            hasInteraction_[static_cast<size_t>(i)] = 1;
            Partner partner;
            const int g = std::min(i, d);
            const int h = std::max(i, d);
            // A mark below the diagonal alone estimates no block; the attribute is then tied alone.
            const int pair = pairOf[static_cast<size_t>(g) * static_cast<size_t>(n) + static_cast<size_t>(h)];
            if (pair >= 0 && codes_[static_cast<size_t>(i)] > 0 && codes_[static_cast<size_t>(d)] > 0) {
                partner.kind = PartnerKind::Table;
                partner.pair = pair;
            } else if (pair >= 0 && codes_[static_cast<size_t>(i)] < 0 &&
                       codes_[static_cast<size_t>(d)] > 0) {
                partner.kind = PartnerKind::LinearRow;
                partner.pair = pair;
            }
            partners_[static_cast<size_t>(i)].push_back(partner);
        }
    }
}

void ConstraintModel::ApplyConstraints(double* betas) const { ApplyConstraints(betas, betas); }

void ConstraintModel::ApplyConstraints(const double* source, double* destination) const {
    if (effectsCoding_) {
        TieEffectsCoded(source, destination);
    } else {
        TieDummyCoded(source, destination);
    }
}

void ConstraintModel::CopyIn(const double* source, double* destination) const {
    if (source != destination && parameterCount_ > 0) {
        std::memcpy(destination, source, sizeof(double) * static_cast<size_t>(parameterCount_));
    }
}

void ConstraintModel::TieDummyCoded(const double* source, double* destination) const {
    CopyIn(source, destination);
    if (constraints_.empty()) return;
    for (size_t i = 0; i < codes_.size(); ++i) {
        const auto& onAttribute = byAttribute_[i];
        if (codes_[i] == 0 || onAttribute.empty()) continue;
        double* params = destination + mainStart_[i];
        if (codes_[i] < 0) {
            RepeatPasses(kDummyPassLimit, kTooConstrictiveMessage, [&] {
                bool changed = false;
                for (const Constraint& c : onAttribute) changed |= ZeroAgainstSign(c.levelA, params[0], 0.0);
                return changed;
            });
            continue;
        }
        const int levels = levels_[i];
        if (levels < 2) continue;  // no parameters to tie
        double* w = Work();
        std::copy(params, params + levels - 1, w);
        w[levels - 1] = 0.0;
        RepeatPasses(kDummyPassLimit, kTooConstrictiveMessage, [&] {
            bool changed = false;
            for (const Constraint& c : onAttribute) {
                double& a = w[c.levelA - 1];
                double& b = w[c.levelB - 1];
                if (a < b) {
                    Tie(a, b);
                    changed = true;
                }
            }
            return changed;
        });
        // The last level is the reference of dummy coding, and the tying may have moved it.
        const double reference = w[levels - 1];
        for (int k = 0; k < levels - 1; ++k) params[k] = w[k] - reference;
    }
}

bool ConstraintModel::TieEffectsCoded(const double* source, double* destination) const {
    CopyIn(source, destination);
    if (constraints_.empty()) return false;
    return RepeatPasses(kEffectsPassLimit - 1, kCannotSatisfyMessage, [&] {
        bool changed = false;
        for (size_t i = 0; i < codes_.size(); ++i) {
            if (codes_[i] == 0) continue;
            const int attribute = static_cast<int>(i);
            changed |= hasInteraction_[i] != 0 ? TieInteractingAttribute(attribute, destination)
                                               : TieAttribute(attribute, destination);
        }
        return changed;
    });
}

bool ConstraintModel::TieAttribute(int attribute, double* betas) const {
    const size_t i = static_cast<size_t>(attribute);
    const auto& onAttribute = byAttribute_[i];
    if (codes_[i] == 0 || onAttribute.empty()) return false;
    double* params = betas + mainStart_[i];
    if (codes_[i] < 0) {
        return RepeatPasses(kEffectsPassLimit - 1, kCannotSatisfyMessage, [&] {
            bool changed = false;
            for (const Constraint& c : onAttribute)
                changed |= ZeroAgainstSign(c.levelA, params[0], kTieTolerance);
            return changed;
        });
    }
    const int levels = levels_[i];
    if (levels < 2) return false;
    double* w = Work();
    double sum = 0.0;
    for (int k = 0; k < levels - 1; ++k) {
        w[k] = params[k];
        sum += params[k];
    }
    w[levels - 1] = -sum;
    const bool changed = RepeatPasses(kEffectsPassLimit - 1, kCannotSatisfyMessage, [&] {
        bool tied = false;
        for (const Constraint& c : onAttribute) {
            double& a = w[c.levelA - 1];
            double& b = w[c.levelB - 1];
            if (b - a > kTieTolerance) {
                Tie(a, b);
                tied = true;
            }
        }
        return tied;
    });
    // The last level follows from the zero sum, which the ties keep.
    std::copy(w, w + levels - 1, params);
    return changed;
}

bool ConstraintModel::TieInteractingAttribute(int attribute, double* betas) const {
    bool changed = false;
    for (const Partner& partner : partners_[static_cast<size_t>(attribute)]) {
        switch (partner.kind) {
            case PartnerKind::Table:
                changed |= TieTable(pairs_[static_cast<size_t>(partner.pair)], betas);
                break;
            case PartnerKind::LinearRow:
                changed |= TieLinearRow(attribute, pairs_[static_cast<size_t>(partner.pair)], betas);
                break;
            case PartnerKind::MainOnly:
                changed |= TieAttribute(attribute, betas);
                break;
        }
    }
    return changed;
}

// Both attributes part-worth, effects coded. T[k][l] is the total utility of level k of g with level l
// of h; derived last levels and the derived last row, column and corner of the interaction come from
// the zero sums. After tying, the table is re-expressed as parameters by its row and column means.
bool ConstraintModel::TieTable(const Pair& pair, double* betas) const {
    const int g = pair.first;
    const int h = pair.second;
    const int rows = levels_[static_cast<size_t>(g)];
    const int columns = levels_[static_cast<size_t>(h)];
    double* mainG = betas + mainStart_[static_cast<size_t>(g)];
    double* mainH = betas + mainStart_[static_cast<size_t>(h)];
    double* block = betas + pair.blockStart;
    const int freeColumns = columns - 1;
    double* t = Table();
    auto cell = [&](int k, int l) -> double& {
        return t[static_cast<size_t>(k) * static_cast<size_t>(columns) + static_cast<size_t>(l)];
    };

    // The interaction part first, as the level expansion derives it.
    for (int k = 0; k < rows - 1; ++k) {
        double sum = 0.0;
        for (int l = 0; l < freeColumns; ++l) {
            cell(k, l) = block[k * freeColumns + l];
            sum += cell(k, l);
        }
        cell(k, columns - 1) = -sum;
    }
    double corner = 0.0;
    for (int l = 0; l < freeColumns; ++l) {
        double sum = 0.0;
        for (int k = 0; k < rows - 1; ++k) sum += cell(k, l);
        cell(rows - 1, l) = -sum;
        corner += sum;
    }
    cell(rows - 1, columns - 1) = corner;
    double lastG = 0.0;
    for (int k = 0; k < rows - 1; ++k) lastG -= mainG[k];
    double lastH = 0.0;
    for (int l = 0; l < columns - 1; ++l) lastH -= mainH[l];
    for (int k = 0; k < rows; ++k) {
        const double mg = k < rows - 1 ? mainG[k] : lastG;
        for (int l = 0; l < columns; ++l) cell(k, l) += mg + (l < columns - 1 ? mainH[l] : lastH);
    }

    const bool changed = RepeatPasses(kEffectsPassLimit - 1, kCannotSatisfyMessage, [&] {
        bool tied = false;
        for (const Constraint& c : pair.constraints) {
            const int a = c.levelA - 1;
            const int b = c.levelB - 1;
            if (c.attribute - 1 == h) {
                for (int k = 0; k < rows; ++k) {
                    if (cell(k, b) - cell(k, a) > kTieTolerance) {
                        Tie(cell(k, a), cell(k, b));
                        tied = true;
                    }
                }
            } else {
                for (int l = 0; l < columns; ++l) {
                    if (cell(b, l) - cell(a, l) > kTieTolerance) {
                        Tie(cell(a, l), cell(b, l));
                        tied = true;
                    }
                }
            }
        }
        return tied;
    });

    for (int k = 0; k < rows - 1; ++k) {
        double sum = 0.0;
        for (int l = 0; l < columns; ++l) sum += cell(k, l);
        mainG[k] = sum / columns;
    }
    for (int l = 0; l < columns - 1; ++l) {
        double sum = 0.0;
        for (int k = 0; k < rows; ++k) sum += cell(k, l);
        mainH[l] = sum / rows;
    }
    for (int k = 0; k < rows - 1; ++k) {
        for (int l = 0; l < freeColumns; ++l) block[k * freeColumns + l] = cell(k, l) - mainG[k] - mainH[l];
    }
    return changed;
}

// A linear attribute with a part-worth partner: its slope at each partner level is the coefficient
// plus that level's interaction, and each slope must keep the sign the constraints ask for.
bool ConstraintModel::TieLinearRow(int linear, const Pair& pair, double* betas) const {
    const int partner = pair.first == linear ? pair.second : pair.first;
    const int levels = levels_[static_cast<size_t>(partner)];
    double& coefficient = betas[mainStart_[static_cast<size_t>(linear)]];
    double* block = betas + pair.blockStart;  // levels - 1 values in the partner's level order
    double* slope = Work();
    double sum = 0.0;
    for (int l = 0; l < levels - 1; ++l) {
        slope[l] = coefficient + block[l];
        sum += block[l];
    }
    slope[levels - 1] = coefficient - sum;
    const auto& onAttribute = byAttribute_[static_cast<size_t>(linear)];
    const bool changed = RepeatPasses(kEffectsPassLimit - 1, kCannotSatisfyMessage, [&] {
        bool zeroed = false;
        for (const Constraint& c : onAttribute) {
            for (int l = 0; l < levels; ++l) zeroed |= ZeroAgainstSign(c.levelA, slope[l], kTieTolerance);
        }
        return zeroed;
    });
    double total = 0.0;
    for (int l = 0; l < levels; ++l) total += slope[l];
    coefficient = total / levels;
    for (int l = 0; l < levels - 1; ++l) block[l] = slope[l] - coefficient;
    return changed;
}

}  // namespace ombrel
