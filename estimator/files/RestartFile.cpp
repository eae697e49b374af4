#include "estimator/files/RestartFile.h"

#include <cstdio>

#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "estimator/files/ResultText.h"

namespace ombrel {

namespace {

class InputFile {
public:
    explicit InputFile(std::FILE* file) : file_(file) {}
    ~InputFile() {
        if (file_ != nullptr) std::fclose(file_);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    std::FILE* Get() const { return file_; }

private:
    std::FILE* file_;
};

}  // namespace

std::string RestartFilePath(const std::string& studyName) { return studyName + ".res"; }

void WriteRestartFile(const std::string& studyName, int completedIterations, double jumpSize,
                      const std::vector<double>& alpha, const SquareMatrix& covariance,
                      const RespondentStore& store) {
    const int n = store.Count();
    const int p = store.ParameterCount();
    if (alpha.size() != static_cast<size_t>(p) || covariance.Size() != p) {
        throw OmbrelError(Format("The restart state does not fit %d parameters.", p));
    }
    const std::string path = RestartFilePath(studyName);
    AtomicFile file;
    if (!file.Open(path)) throw ConsoleError("\nCan't open studyname.res file.");

    std::string text;
    auto flush = [&] {
        if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file.File()) != text.size()) {
            throw OmbrelError(WriteFailureMessage(path));
        }
        text.clear();
    };
    AppendFormat(text, "%d %d %d %6.3f\n", n, p, completedIterations, jumpSize);
    for (int k = 0; k < p; ++k) AppendFormat(text, "%8.3lf", alpha[static_cast<size_t>(k)]);
    text += "\n\n";
    for (int r = 0; r < n; ++r) {
        AppendFormat(text, "%8d", store.Number(r));
        const double* betas = store.Betas(r);
        for (int k = 0; k < p; ++k) AppendFormat(text, "%8.3lf", betas[k]);
        AppendFormat(text, "%10.3lf\n", store.LogLikelihood(r));
        flush();
    }
    text += "\n";
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) AppendFormat(text, "%8.3lf", covariance(i, j));
        text += "\n";
        flush();
    }
    flush();
    if (!file.Commit()) throw OmbrelError(WriteFailureMessage(path));
}

std::optional<RestartState> LoadRestartFile(const std::string& studyName) {
    const std::string path = RestartFilePath(studyName);
    InputFile file(std::fopen(path.c_str(), "rb"));
    if (file.Get() == nullptr) return std::nullopt;
    TextNumberScanner scanner(file.Get());
    auto reject = [&](const char* problem) -> OmbrelError {
        return OmbrelError(Format("The restart file %s %s.  Delete it to start the estimation afresh.",
                                  path.c_str(), problem));
    };

    int32_t respondents = 0;
    int32_t parameters = 0;
    int32_t iterations = 0;
    double jumpSize = 0.0;
    if (!scanner.ReadInt(respondents) || !scanner.ReadInt(parameters) || !scanner.ReadInt(iterations) ||
        !scanner.ReadDouble(jumpSize)) {
        throw reject("does not start with its counts");
    }
    if (respondents < 0) throw reject("announces a negative number of respondents");
    if (parameters < 0 || parameters > kMaxRestartParameters) {
        throw reject(Format("announces %d parameters per respondent (at most %d are possible)", parameters,
                            kMaxRestartParameters)
                         .c_str());
    }
    if (iterations < 0 || iterations > kMaxRestartIterations) {
        throw reject(Format("announces %d completed iterations", iterations).c_str());
    }

    RestartState state;
    state.previousIterations = iterations;
    state.jumpSize = jumpSize;
    state.alpha.assign(static_cast<size_t>(parameters), 0.0);
    state.covariance.Resize(parameters);
    state.store.Reset(parameters);
    const char* shortFile = "holds fewer numbers than its first line announces";
    for (double& value : state.alpha) {
        if (!scanner.ReadDouble(value)) throw reject(shortFile);
    }
    // The store grows only as records are actually read, so an absurd respondent count in a short
    // file costs nothing before it is rejected.
    std::vector<double> betas(static_cast<size_t>(parameters));
    for (int32_t r = 0; r < respondents; ++r) {
        int32_t number = 0;
        double logLikelihood = 0.0;
        if (!scanner.ReadInt(number)) throw reject(shortFile);
        for (double& beta : betas) {
            if (!scanner.ReadDouble(beta)) throw reject(shortFile);
        }
        if (!scanner.ReadDouble(logLikelihood)) throw reject(shortFile);
        state.store.Append(number, betas.data(), logLikelihood);
    }
    for (int i = 0; i < parameters; ++i) {
        for (int j = 0; j < parameters; ++j) {
            if (!scanner.ReadDouble(state.covariance(i, j))) throw reject(shortFile);
        }
    }
    return state;
}

std::string RestartRespondentMismatchMessage(const std::string& studyName, int restartRespondents,
                                             int dataRespondents) {
    return Format(
        "The restart file %s holds %d respondents, but the prepared data has %d.  Delete it to start "
        "the estimation afresh.",
        RestartFilePath(studyName).c_str(), restartRespondents, dataRespondents);
}

}  // namespace ombrel
