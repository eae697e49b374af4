#include "estimator/files/ResumeFile.h"

#include <cstring>

#include "common/AtomicFile.h"
#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {

namespace {

constexpr char kMagic[8] = {'O', 'M', 'B', 'R', 'E', 'S', 'U', 'M'};
constexpr int32_t kVersion = 1;

// Hands every byte on and keeps the FNV-1a of them all.
class HashingSink : public ByteSink {
public:
    explicit HashingSink(ByteSink& sink) : sink_(sink) {}
    bool Write(const void* data, size_t size) override {
        hash_ = Fnv1a(std::string_view(static_cast<const char*>(data), size), hash_);
        return sink_.Write(data, size);
    }
    uint64_t Hash() const { return hash_; }

private:
    ByteSink& sink_;
    uint64_t hash_ = Fnv1a({});
};

bool WriteUint64(ByteSink& sink, uint64_t value) {
    return WriteInt32(sink, static_cast<int32_t>(static_cast<uint32_t>(value))) &&
           WriteInt32(sink, static_cast<int32_t>(static_cast<uint32_t>(value >> 32)));
}

bool WriteDoubles(ByteSink& sink, const double* values, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!WriteFloat64(sink, values[i])) return false;
    }
    return true;
}

bool WriteInts(ByteSink& sink, std::initializer_list<int64_t> values) {
    for (int64_t value : values) {
        if (!WriteInt32(sink, static_cast<int32_t>(value))) return false;
    }
    return true;
}

bool WriteChain(ByteSink& sink, const ChainSnapshot& chain) {
    const ChainState& state = chain.state;
    const int p = state.ParameterCount();
    if (!WriteFloat64(sink, state.jumpSize) || !WriteFloat64(sink, chain.lastJumpUsed) ||
        !WriteDoubles(sink, state.alpha.data(), state.alpha.size()))
        return false;
    for (int r = 0; r < p; ++r) {
        for (int c = 0; c < p; ++c) {
            if (!WriteFloat64(sink, state.covariance(r, c))) return false;
        }
    }
    for (int n = 0; n < state.RespondentCount(); ++n) {
        if (!WriteInt32(sink, state.store.Number(n)) ||
            !WriteDoubles(sink, state.store.Betas(n), static_cast<size_t>(p)) ||
            !WriteFloat64(sink, state.store.LogLikelihood(n)))
            return false;
    }
    const GeneratorState& g = chain.generator;
    for (uint32_t word : g.words) {
        if (!WriteInt32(sink, static_cast<int32_t>(word))) return false;
    }
    return WriteInt32(sink, g.index) && WriteFloat64(sink, g.cachedParts.v) &&
           WriteFloat64(sink, g.cachedParts.s) && WriteFloat64(sink, g.cachedNormal) &&
           WriteInts(sink, {g.cachedNormalValid, g.cachedNormalComputed});
}

// Reads the record's bytes front to back; every read fails past the end.
class Cursor {
public:
    explicit Cursor(const std::vector<unsigned char>& bytes, size_t end) : bytes_(bytes), end_(end) {}
    bool Bytes(void* out, size_t size) {
        if (end_ - at_ < size) return false;
        if (size == 0) return true;
        std::memcpy(out, bytes_.data() + at_, size);
        at_ += size;
        return true;
    }
    bool Int(int32_t& value) {
        unsigned char raw[4];
        if (!Bytes(raw, 4)) return false;
        value = DecodeInt32(raw);
        return true;
    }
    bool Int(int& value, int low, int high) {
        int32_t raw = 0;
        if (!Int(raw) || raw < low || raw > high) return false;
        value = raw;
        return true;
    }
    bool Flag(bool& value) {
        int flag = 0;
        if (!Int(flag, 0, 1)) return false;
        value = flag == 1;
        return true;
    }
    bool Uint64(uint64_t& value) {
        int32_t low = 0;
        int32_t high = 0;
        if (!Int(low) || !Int(high)) return false;
        value = static_cast<uint64_t>(static_cast<uint32_t>(low)) |
                (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32);
        return true;
    }
    bool Length(int64_t& value) {
        uint64_t raw = 0;
        if (!Uint64(raw) || raw > static_cast<uint64_t>(INT64_MAX)) return false;
        value = static_cast<int64_t>(raw);
        return true;
    }
    bool Double(double& value) {
        unsigned char raw[8];
        if (!Bytes(raw, 8)) return false;
        value = DecodeFloat64(raw);
        return true;
    }
    bool Doubles(std::vector<double>& values, size_t count) {
        if ((end_ - at_) / 8 < count) return false;
        values.resize(count);
        for (double& value : values) Double(value);
        return true;
    }
    size_t Left() const { return end_ - at_; }

private:
    const std::vector<unsigned char>& bytes_;
    size_t end_;
    size_t at_ = 0;
};

bool ReadChain(Cursor& in, int n, int p, ChainSnapshot& chain) {
    ChainState& state = chain.state;
    if (!in.Double(state.jumpSize) || !in.Double(chain.lastJumpUsed) ||
        !in.Doubles(state.alpha, static_cast<size_t>(p)))
        return false;
    std::vector<double> covariance;
    if (!in.Doubles(covariance, static_cast<size_t>(p) * static_cast<size_t>(p))) return false;
    state.covariance = SquareMatrix(p);
    for (int r = 0; r < p; ++r) {
        for (int c = 0; c < p; ++c) state.covariance(r, c) = covariance[static_cast<size_t>(r) * p + c];
    }
    // Each respondent needs 4 + 8 (p + 1) bytes: a count the file cannot hold is refused before any
    // storage is reserved for it.
    if (in.Left() / (12 + 8 * static_cast<size_t>(p)) < static_cast<size_t>(n)) return false;
    state.store.Reset(p);
    std::vector<double> betas;
    for (int i = 0; i < n; ++i) {
        int32_t number = 0;
        double logLikelihood = 0.0;
        if (!in.Int(number) || !in.Doubles(betas, static_cast<size_t>(p)) || !in.Double(logLikelihood))
            return false;
        state.store.Append(number, betas.data(), logLikelihood);
    }
    GeneratorState& g = chain.generator;
    for (uint32_t& word : g.words) {
        int32_t raw = 0;
        if (!in.Int(raw)) return false;
        word = static_cast<uint32_t>(raw);
    }
    return in.Int(g.index, 0, GeneratorState::kWords + 1) && in.Double(g.cachedParts.v) &&
           in.Double(g.cachedParts.s) && in.Double(g.cachedNormal) && in.Flag(g.cachedNormalValid) &&
           in.Flag(g.cachedNormalComputed);
}

bool ReadSums(Cursor& in, const ResumeExpectation& expected, SummarySums& sums) {
    const size_t p = static_cast<size_t>(expected.parameterCount);
    return in.Doubles(sums.alphaSum, p) &&
           in.Doubles(sums.constrainedBetaSum, expected.constrained ? p : 0) &&
           in.Doubles(sums.covarianceSum, p * (p + 1) / 2);
}

// The counts, the run's schedule and the checks; reason says what did not agree.
bool ReadHead(Cursor& in, const ResumeExpectation& expected, ResumeRecord& record, std::string& reason) {
    char magic[8];
    int version = 0;
    int kind = 0;
    if (!in.Bytes(magic, 8) || std::memcmp(magic, kMagic, 8) != 0 || !in.Int(version, kVersion, kVersion) ||
        !in.Int(kind, 1, 3)) {
        reason = "it is not a resume file of this version";
        return false;
    }
    record.kind = static_cast<ResumeKind>(kind);
    if (!in.Uint64(record.restartCheck) || !in.Uint64(record.previousRestartCheck)) {
        reason = "it is damaged";
        return false;
    }
    // Renamed into place before its restart file: a crash between the two leaves it beside the
    // restart file it replaces.
    record.restartPending =
        record.restartCheck != expected.restartCheck && record.previousRestartCheck == expected.restartCheck;
    if (record.restartCheck != expected.restartCheck && !record.restartPending) {
        reason = "it belongs to another restart file";
        return false;
    }
    if (!in.Uint64(record.settingsCheck) || record.settingsCheck != expected.settingsCheck) {
        reason = "the settings or the prepared data have changed since";
        return false;
    }
    int n = 0;
    int p = 0;
    reason = "its counts do not fit the study";
    if (!in.Int(n, expected.respondentCount, expected.respondentCount) ||
        !in.Int(p, expected.parameterCount, expected.parameterCount) ||
        !in.Int(record.levelCount, expected.levelCount, expected.levelCount) ||
        !in.Flag(record.constrained) || record.constrained != expected.constrained ||
        !in.Flag(record.saveDraws) || record.saveDraws != expected.saveDraws)
        return false;
    int completed = 0;
    const int completedLow = expected.completedIterations;
    const int completedHigh = record.restartPending ? INT32_MAX - 1 : completedLow;
    if (!in.Int(completed, completedLow, completedHigh) || !in.Int(record.scheduleStart, 0, completed) ||
        !in.Int(record.totalIterations, completed, INT32_MAX - 1) || !in.Flag(record.usingDraws))
        return false;
    record.chain.state.completedIterations = completed;
    reason.clear();
    return true;
}

bool ReadTail(Cursor& in, const ResumeExpectation& expected, ResumeRecord& record) {
    if (!in.Length(record.alphaHistoryLength) || !in.Length(record.betaHistoryLength) ||
        !in.Length(record.covarianceHistoryLength) || !in.Length(record.drawScratchLength) ||
        !in.Length(record.accumulatorRecords) || record.accumulatorRecords > expected.respondentCount)
        return false;
    if (record.saveDraws) return in.Left() == 0;
    if (static_cast<uint64_t>(record.drawScratchLength) != in.Left()) return false;
    record.accumulatorBytes.resize(in.Left());
    return in.Bytes(record.accumulatorBytes.data(), record.accumulatorBytes.size());
}

enum class WholeFile { Missing, Failed, Read };

WholeFile ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes) {
    FileHandle file;
    if (!file.Open(path, "rb")) return WholeFile::Missing;
    unsigned char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.Get())) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    return std::ferror(file.Get()) ? WholeFile::Failed : WholeFile::Read;
}

}  // namespace

uint64_t Fnv1a(std::string_view bytes, uint64_t hash) {
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 1099511628211ULL;
    }
    return hash;
}

uint64_t ResumeSettingsCheck(const std::string& settingsText, uint64_t preparedDataSize) {
    return Fnv1a(settingsText + "\n" + std::to_string(preparedDataSize));
}

bool WriteResumeRecord(const ResumeRecord& record, ByteSink& sink) {
    HashingSink out(sink);
    const ChainState& state = record.chain.state;
    const bool written =
        out.Write(kMagic, 8) && WriteInts(out, {kVersion, static_cast<int32_t>(record.kind)}) &&
        WriteUint64(out, record.restartCheck) && WriteUint64(out, record.previousRestartCheck) &&
        WriteUint64(out, record.settingsCheck) &&
        WriteInts(out, {state.RespondentCount(), state.ParameterCount(), record.levelCount,
                        record.constrained, record.saveDraws, state.completedIterations, record.scheduleStart,
                        record.totalIterations, record.usingDraws}) &&
        WriteChain(out, record.chain) &&
        WriteDoubles(out, record.sums.alphaSum.data(), record.sums.alphaSum.size()) &&
        WriteDoubles(out, record.sums.constrainedBetaSum.data(), record.sums.constrainedBetaSum.size()) &&
        WriteDoubles(out, record.sums.covarianceSum.data(), record.sums.covarianceSum.size());
    if (!written) return false;
    for (int64_t length :
         {record.alphaHistoryLength, record.betaHistoryLength, record.covarianceHistoryLength,
          record.drawScratchLength, record.accumulatorRecords}) {
        if (!WriteUint64(out, static_cast<uint64_t>(length))) return false;
    }
    if (!record.accumulatorBytes.empty() &&
        !out.Write(record.accumulatorBytes.data(), record.accumulatorBytes.size()))
        return false;
    return WriteUint64(sink, out.Hash());
}

void PrepareResumeFile(AtomicFile& file, const std::string& path, const ResumeRecord& record) {
    MemoryByteSink bytes;
    const std::vector<unsigned char>& data = bytes.Bytes();
    if (!WriteResumeRecord(record, bytes) || !file.Open(path) ||
        (!data.empty() && std::fwrite(data.data(), 1, data.size(), file.File()) != data.size()) ||
        !file.Complete())
        throw OmbrelError(Format("The resume file %s could not be written.", path.c_str()));
}

void WriteResumeFile(const std::string& path, const ResumeRecord& record) {
    AtomicFile file;
    PrepareResumeFile(file, path, record);
    if (!file.Commit()) throw OmbrelError(Format("The resume file %s could not be written.", path.c_str()));
}

std::optional<ResumeRecord> ReadResumeRecord(const std::vector<unsigned char>& bytes,
                                             const ResumeExpectation& expected, std::string& reason) {
    if (bytes.size() < 8) {
        reason = "it is incomplete";
        return std::nullopt;
    }
    const size_t body = bytes.size() - 8;
    uint64_t stored = 0;
    for (size_t i = bytes.size(); i-- > body;) stored = (stored << 8) | bytes[i];
    if (stored != Fnv1a(std::string_view(reinterpret_cast<const char*>(bytes.data()), body))) {
        reason = "it is incomplete or damaged";
        return std::nullopt;
    }
    Cursor in(bytes, body);
    ResumeRecord record;
    if (!ReadHead(in, expected, record, reason)) return std::nullopt;
    const int completed = record.chain.state.completedIterations;
    if (!ReadChain(in, expected.respondentCount, expected.parameterCount, record.chain) ||
        !ReadSums(in, expected, record.sums) || !ReadTail(in, expected, record)) {
        reason = "it is damaged";
        return std::nullopt;
    }
    record.chain.state.completedIterations = completed;
    return record;
}

std::optional<ResumeRecord> LoadResumeFile(const std::string& path, const ResumeExpectation& expected,
                                           std::string& reason) {
    reason.clear();
    std::vector<unsigned char> bytes;
    switch (ReadWholeFile(path, bytes)) {
        case WholeFile::Missing:
            return std::nullopt;
        case WholeFile::Failed:
            reason = "it could not be read";
            return std::nullopt;
        case WholeFile::Read:
            break;
    }
    return ReadResumeRecord(bytes, expected, reason);
}

std::optional<uint64_t> FileCheck(const std::string& path) {
    std::vector<unsigned char> bytes;
    if (ReadWholeFile(path, bytes) != WholeFile::Read) return std::nullopt;
    return Fnv1a(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace ombrel
