#include "estimator/files/RestartFile.h"

#include <cstdio>

#include "common/AtomicFile.h"
#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "estimator/files/ResultText.h"
#include "estimator/files/ResumeFile.h"

namespace ombrel {

namespace {

// The restart file's writes, into its temporary file.
class AtomicFileSink : public ByteSink {
public:
    explicit AtomicFileSink(AtomicFile& file) : file_(file) {}
    bool Write(const void* data, size_t size) override {
        check_ = Fnv1a(std::string_view(static_cast<const char*>(data), size), check_);
        return std::fwrite(data, 1, size, file_.File()) == size;
    }
    uint64_t Check() const { return check_; }

private:
    AtomicFile& file_;
    uint64_t check_ = Fnv1a({});
};

// Reads numbers of a restart text and names the file in every complaint.
class RestartReader {
public:
    RestartReader(TextSource& source, const std::string& path) : scanner_(source, path), path_(path) {}

    OmbrelError Reject(const std::string& problem) const {
        return OmbrelError(Format("The restart file %s %s.  Delete it to start the estimation afresh.",
                                  path_.c_str(), problem.c_str()));
    }
    int32_t Int() {
        int32_t value = 0;
        if (!scanner_.ReadInt(value)) throw Reject(kShortFile);
        return value;
    }
    double Double() {
        double value = 0.0;
        if (!scanner_.ReadDouble(value)) throw Reject(kShortFile);
        return value;
    }
    TextNumberScanner& Scanner() { return scanner_; }

private:
    static constexpr const char* kShortFile = "holds fewer numbers than its first line announces";
    TextNumberScanner scanner_;
    const std::string& path_;
};

struct RestartCounts {
    int32_t respondents = 0;
    int32_t parameters = 0;
    int32_t iterations = 0;
    double jumpSize = 0.0;
};

RestartCounts ReadCounts(RestartReader& reader) {
    RestartCounts counts;
    TextNumberScanner& scanner = reader.Scanner();
    if (!scanner.ReadInt(counts.respondents) || !scanner.ReadInt(counts.parameters) ||
        !scanner.ReadInt(counts.iterations) || !scanner.ReadDouble(counts.jumpSize)) {
        throw reader.Reject("does not start with its counts");
    }
    if (counts.respondents < 0) throw reader.Reject("announces a negative number of respondents");
    if (counts.parameters < 0 || counts.parameters > kMaxRestartParameters) {
        throw reader.Reject(Format("announces %d parameters per respondent (at most %d are possible)",
                                   counts.parameters, kMaxRestartParameters));
    }
    if (counts.iterations < 0 || counts.iterations > kMaxRestartIterations) {
        throw reader.Reject(Format("announces %d completed iterations", counts.iterations));
    }
    return counts;
}

}  // namespace

bool WriteRestartText(const ChainState& state, ByteSink& sink) {
    const RespondentStore& store = state.store;
    const int n = store.Count();
    const int p = store.ParameterCount();
    if (state.alpha.size() != static_cast<size_t>(p) || state.covariance.Size() != p) {
        throw OmbrelError(Format("The restart state does not fit %d parameters.", p));
    }
    std::string text;
    auto flush = [&] {
        const bool written = text.empty() || sink.Write(text.data(), text.size());
        text.clear();
        return written;
    };
    AppendFormat(text, "%d %d %d %6.3f\n", n, p, state.completedIterations, state.jumpSize);
    for (int k = 0; k < p; ++k) AppendFormat(text, "%8.3lf", state.alpha[static_cast<size_t>(k)]);
    text += "\n\n";
    for (int r = 0; r < n; ++r) {
        AppendFormat(text, "%8d", store.Number(r));
        const double* betas = store.Betas(r);
        for (int k = 0; k < p; ++k) AppendFormat(text, "%8.3lf", betas[k]);
        AppendFormat(text, "%10.3lf\n", store.LogLikelihood(r));
        if (!flush()) return false;
    }
    text += "\n";
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) AppendFormat(text, "%8.3lf", state.covariance(i, j));
        text += "\n";
        if (!flush()) return false;
    }
    return flush();
}

uint64_t PrepareRestartFile(AtomicFile& file, const std::string& path, const ChainState& state) {
    const int p = state.store.ParameterCount();
    if (state.alpha.size() != static_cast<size_t>(p) || state.covariance.Size() != p) {
        throw OmbrelError(Format("The restart state does not fit %d parameters.", p));
    }
    if (!file.Open(path)) throw ConsoleError("\nCan't open studyname.res file.");
    AtomicFileSink sink(file);
    if (!WriteRestartText(state, sink) || !file.Complete()) throw OmbrelError(WriteFailureMessage(path));
    return sink.Check();
}

uint64_t WriteRestartFile(const std::string& path, const ChainState& state) {
    AtomicFile file;
    const uint64_t check = PrepareRestartFile(file, path, state);
    if (!file.Commit()) throw OmbrelError(WriteFailureMessage(path));
    return check;
}

ChainState ReadRestartState(TextSource& source, const std::string& path) {
    RestartReader reader(source, path);
    const RestartCounts counts = ReadCounts(reader);
    const int p = counts.parameters;

    ChainState state;
    state.completedIterations = counts.iterations;
    state.jumpSize = counts.jumpSize;
    state.alpha.assign(static_cast<size_t>(p), 0.0);
    state.covariance.Resize(p);
    state.store.Reset(p);
    for (double& value : state.alpha) value = reader.Double();
    // The store grows only as records are actually read, so an absurd respondent count in a short
    // text costs nothing before it is rejected.
    std::vector<double> betas(static_cast<size_t>(p));
    for (int32_t r = 0; r < counts.respondents; ++r) {
        const int32_t number = reader.Int();
        for (double& beta : betas) beta = reader.Double();
        const double logLikelihood = reader.Double();
        state.store.Append(number, betas.data(), logLikelihood);
    }
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) state.covariance(i, j) = reader.Double();
    }
    return state;
}

std::optional<ChainState> LoadRestartFile(const std::string& path) {
    FileHandle file;
    if (!file.Open(path, "rb")) return std::nullopt;
    FileTextSource source(std::move(file));
    return ReadRestartState(source, path);
}

std::string RestartRespondentMismatchMessage(const std::string& path, int restartRespondents,
                                             int dataRespondents) {
    return Format(
        "The restart file %s holds %d respondents, but the prepared data has %d.  Delete it to start "
        "the estimation afresh.",
        path.c_str(), restartRespondents, dataRespondents);
}

}  // namespace ombrel
