#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ombrel {

// The per-respondent chain state kept between iterations, one record per respondent in the order of
// the prepared data file: respondent number, parameterCount current (unconstrained) betas, and the
// log-likelihood of those betas. Records and prepared-data blocks are matched by position.
class RespondentStore {
public:
    explicit RespondentStore(int parameterCount = 0) : parameterCount_(parameterCount) {}

    void Reset(int parameterCount) {
        parameterCount_ = parameterCount;
        numbers_.clear();
        betas_.clear();
        logLikelihoods_.clear();
    }
    void Append(int32_t number, const double* betas, double logLikelihood) {
        numbers_.push_back(number);
        betas_.insert(betas_.end(), betas, betas + parameterCount_);
        logLikelihoods_.push_back(logLikelihood);
    }

    int ParameterCount() const { return parameterCount_; }
    int Count() const { return static_cast<int>(numbers_.size()); }
    int32_t& Number(int respondent) { return numbers_[static_cast<size_t>(respondent)]; }
    int32_t Number(int respondent) const { return numbers_[static_cast<size_t>(respondent)]; }
    double* Betas(int respondent) { return betas_.data() + Offset(respondent); }
    const double* Betas(int respondent) const { return betas_.data() + Offset(respondent); }
    double& LogLikelihood(int respondent) { return logLikelihoods_[static_cast<size_t>(respondent)]; }
    double LogLikelihood(int respondent) const { return logLikelihoods_[static_cast<size_t>(respondent)]; }

private:
    size_t Offset(int respondent) const {
        return static_cast<size_t>(respondent) * static_cast<size_t>(parameterCount_);
    }

    int parameterCount_ = 0;
    std::vector<int32_t> numbers_;
    std::vector<double> betas_;
    std::vector<double> logLikelihoods_;
};

}  // namespace ombrel
