#include "estimator/files/DrawFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/StudyFiles.h"
#include "common/TextConversion.h"
#include "estimator/files/ResultText.h"

namespace ombrel {

bool DrawScratchFile::Create(const std::string& path) {
    const bool opened = file_.Open(path, "w+b");
    path_ = path;
    last_ = LastOperation::None;
    return opened;
}

bool DrawScratchFile::Reopen(const std::string& path, uint64_t length) {
    path_ = path;
    last_ = LastOperation::None;
    if (length > static_cast<uint64_t>(INT64_MAX) || !file_.Open(path, "r+b")) return false;
    struct stat status {};
    const int descriptor = ::fileno(file_.Get());
    if (::fstat(descriptor, &status) != 0 || static_cast<uint64_t>(status.st_size) < length ||
        ::ftruncate(descriptor, static_cast<off_t>(length)) != 0 ||
        ::fseeko(file_.Get(), static_cast<off_t>(length), SEEK_SET) != 0) {
        file_.Close();
        return false;
    }
    return true;
}

bool DrawScratchFile::Flush() {
    std::FILE* file = file_.Get();
    return file != nullptr && std::ferror(file) == 0 && std::fflush(file) == 0;
}

uint64_t DrawScratchFile::Size() const {
    struct stat status {};
    if (!file_ || ::fstat(::fileno(file_.Get()), &status) != 0) return 0;
    return static_cast<uint64_t>(status.st_size);
}

bool DrawScratchFile::Write(const void* data, size_t size) {
    std::FILE* file = file_.Get();
    if (file == nullptr) return false;
    if (last_ == LastOperation::Read && ::fseeko(file, 0, SEEK_CUR) != 0) return false;
    last_ = LastOperation::Write;
    return std::fwrite(data, 1, size, file) == size;
}

size_t DrawScratchFile::Read(void* data, size_t size) {
    std::FILE* file = file_.Get();
    if (file == nullptr) return 0;
    if (last_ == LastOperation::Write && ::fseeko(file, 0, SEEK_CUR) != 0) return 0;
    last_ = LastOperation::Read;
    return std::fread(data, 1, size, file);
}

bool DrawScratchFile::Rewind() { return Seek(0); }

bool DrawScratchFile::Seek(uint64_t offset) {
    std::FILE* file = file_.Get();
    if (file == nullptr) return false;
    if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
    last_ = LastOperation::None;
    return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool DrawScratchFile::Close() {
    std::FILE* file = file_.Get();
    if (file == nullptr) return true;
    const bool ok = std::ferror(file) == 0 && std::fflush(file) == 0;
    const bool closed = file_.Close();
    return ok && closed;
}

void DrawScratchFile::CloseAndRemove() {
    Close();
    if (!path_.empty()) std::remove(path_.c_str());
}

uint64_t DrawRecordSize(int parameterCount) { return 8 * static_cast<uint64_t>(parameterCount) + 12; }

uint64_t AccumulatorRecordSize(int levelCount) { return 16 * static_cast<uint64_t>(levelCount) + 12; }

namespace {

[[noreturn]] void ThrowScratchOpenFailure(const char* name) {
    throw OmbrelError(
        Format("The %s file could not be opened.  Please check the file for read-only "
               "attributes and access restrictions.",
               name));
}

}  // namespace

void CreateDrawScratchFile(const std::string& studyFolder, bool saveDraws, DrawScratchFile& file) {
    const char* name = saveDraws ? kSavedDrawScratchFileName : kDrawAccumulatorFileName;
    if (!file.Create(studyFolder + name)) ThrowScratchOpenFailure(name);
}

void ReopenDrawScratchFile(const std::string& studyFolder, bool saveDraws, uint64_t length,
                           const std::vector<unsigned char>& accumulatorBytes, DrawScratchFile& file) {
    const char* name = saveDraws ? kSavedDrawScratchFileName : kDrawAccumulatorFileName;
    if (saveDraws) {
        if (!file.Reopen(studyFolder + name, length)) ThrowScratchOpenFailure(name);
        return;
    }
    if (!file.Create(studyFolder + name)) ThrowScratchOpenFailure(name);
    if ((!accumulatorBytes.empty() && !file.Write(accumulatorBytes.data(), accumulatorBytes.size())) ||
        !file.Flush())
        throw OmbrelError(Format("The %s file could not be written.", name));
}

SavedDrawWriter::SavedDrawWriter(DrawScratchFile& file, int parameterCount)
    : file_(file), parameterCount_(parameterCount), record_(DrawRecordSize(parameterCount)) {}

void SavedDrawWriter::RecordDraw(int, int32_t respondentNumber, double respondentRlh, const double* betas,
                                 const double*) {
    unsigned char* out = record_.data();
    EncodeInt32(respondentNumber, out);
    EncodeFloat64(respondentRlh, out + 4);
    for (int k = 0; k < parameterCount_; ++k) EncodeFloat64(betas[k], out + 12 + 8 * k);
    if (!file_.Write(record_.data(), record_.size())) throw OmbrelError(WriteFailureMessage(file_.Path()));
}

DrawAccumulator::DrawAccumulator(DrawScratchFile& file, const LevelExpansion& expansion,
                                 const ConstraintTies* ties)
    : file_(file),
      expansion_(expansion),
      ties_(ties),
      tied_(static_cast<size_t>(expansion.ParameterCount())),
      expanded_(static_cast<size_t>(expansion.LevelCount())),
      sums_(static_cast<size_t>(expansion.LevelCount())),
      squares_(static_cast<size_t>(expansion.LevelCount())),
      recordSize_(AccumulatorRecordSize(expansion.LevelCount())) {
    constexpr size_t kWindowBytes = size_t{1} << 20;
    window_.resize(std::max<size_t>(1, kWindowBytes / recordSize_) * recordSize_);
}

void DrawAccumulator::ResumeWith(int64_t recordsWritten) {
    Flush();
    recordsWritten_ = recordsWritten;
    // A window that ends before the first record holds none.
    windowFirst_ = -static_cast<int64_t>(window_.size() / recordSize_);
    windowDirtyEnd_ = windowFirst_;
}

void DrawAccumulator::Flush() {
    if (windowDirtyEnd_ <= windowFirst_) return;
    const uint64_t offset = static_cast<uint64_t>(windowFirst_) * recordSize_;
    const size_t size = static_cast<size_t>(windowDirtyEnd_ - windowFirst_) * recordSize_;
    if (!file_.Seek(offset) || !file_.Write(window_.data(), size))
        throw OmbrelError(WriteFailureMessage(file_.Path()));
    windowDirtyEnd_ = windowFirst_;
}

unsigned char* DrawAccumulator::WindowRecord(int respondentIndex) {
    const int64_t index = respondentIndex;
    if (index < windowFirst_ || index >= windowFirst_ + static_cast<int64_t>(window_.size() / recordSize_)) {
        Flush();
        windowFirst_ = index;
        windowDirtyEnd_ = index;
        const int64_t capacity = static_cast<int64_t>(window_.size() / recordSize_);
        const int64_t existing = std::min(capacity, std::max<int64_t>(0, recordsWritten_ - index));
        if (existing > 0) {
            const size_t size = static_cast<size_t>(existing) * recordSize_;
            if (!file_.Seek(static_cast<uint64_t>(index) * recordSize_) ||
                file_.Read(window_.data(), size) != size)
                throw OmbrelError("The accumulator file " + file_.Path() + " could not be read.");
        }
    }
    return window_.data() + static_cast<size_t>(index - windowFirst_) * recordSize_;
}

void DrawAccumulator::RecordDraw(int respondentIndex, int32_t respondentNumber, double respondentRlh,
                                 const double*, const double* constrainedBetas) {
    const int levels = expansion_.LevelCount();
    unsigned char* record = WindowRecord(respondentIndex);
    double rlhSum = 0.0;
    if (respondentIndex < recordsWritten_) {
        const int32_t numberRead = DecodeInt32(record);
        if (numberRead != respondentNumber) {
            throw OmbrelError(Format("The respondent read (%ld) doesn't match the expected respondent (%ld).",
                                     static_cast<long>(numberRead), static_cast<long>(respondentNumber)));
        }
        rlhSum = DecodeFloat64(record + 4);
        for (int k = 0; k < levels; ++k) {
            sums_[k] = DecodeFloat64(record + 12 + 8 * k);
            squares_[k] = DecodeFloat64(record + 12 + 8 * (levels + k));
        }
    } else {
        sums_.assign(sums_.size(), 0.0);
        squares_.assign(squares_.size(), 0.0);
    }

    rlhSum += respondentRlh;
    tied_.assign(constrainedBetas, constrainedBetas + expansion_.ParameterCount());
    ExpandToLevels(expansion_, expanded_.data(), true, tied_.data(), ties_);
    for (int k = 0; k < levels; ++k) {
        sums_[k] += expanded_[k];
        squares_[k] += expanded_[k] * expanded_[k];
    }

    EncodeInt32(respondentNumber, record);
    EncodeFloat64(rlhSum, record + 4);
    for (int k = 0; k < levels; ++k) {
        EncodeFloat64(sums_[k], record + 12 + 8 * k);
        EncodeFloat64(squares_[k], record + 12 + 8 * (levels + k));
    }
    windowDirtyEnd_ = std::max<int64_t>(windowDirtyEnd_, static_cast<int64_t>(respondentIndex) + 1);
    if (respondentIndex >= recordsWritten_) recordsWritten_ = static_cast<int64_t>(respondentIndex) + 1;
}

void FormatDrawRecord(std::string& out, int32_t respondentNumber, double respondentRlh,
                      const double* expanded, int levelCount, bool hasNone) {
    AppendRespondentHeader(out, respondentNumber, respondentRlh * 1000.0, levelCount, hasNone);
    AppendLevelValues(out, expanded, levelCount);
    out.push_back('\n');
}

void SortDraws(DrawScratchFile& betasTmp, const StudyFiles& files, const DrawLayout& layout,
               const LevelExpansion& expansion, const ConstraintTies* ties, const OutputProgress& progress) {
    CheckParameterCount(expansion, layout.parameterCount);
    auto report = [&](OutputPhase phase, int step, int total) {
        if (progress) progress(phase, step, total);
    };
    const int n = layout.respondentCount;
    const int d = layout.drawsPerRespondent;
    const int p = layout.parameterCount;
    const uint64_t recordSize = DrawRecordSize(p);
    std::vector<unsigned char> record(recordSize);

    DrawScratchFile sorted;
    const std::string sortedPath = files.SortedDraws();
    if (!sorted.Create(sortedPath))
        throw ConsoleError(Format("\nUnable to open %s file", sortedPath.c_str()));
    if (!betasTmp.Rewind()) throw ConsoleError("\nIn sortbetas, can't read betatmp file.");

    // betas.tmp holds draw m of every respondent before draw m + 1 of any: one sequential read,
    // scattered writes to each record's respondent-major slot.
    for (int m = 0; m < d; ++m) {
        report(OutputPhase::SortingDraws, m + 1, d);
        for (int r = 0; r < n; ++r) {
            if (betasTmp.Read(record.data(), recordSize) != recordSize) {
                throw ConsoleError("\nIn sortbetas, can't read betatmp file.");
            }
            const uint64_t slot =
                static_cast<uint64_t>(m) + static_cast<uint64_t>(r) * static_cast<uint64_t>(d);
            if (!sorted.Seek(slot * recordSize)) throw ConsoleError("\nCan't seek in betasrt file.");
            if (!sorted.Write(record.data(), recordSize)) {
                throw ConsoleError("\nIn sortbetas, can't write betasrt file.");
            }
        }
    }
    // Every draw is now in betas.srt.
    betasTmp.CloseAndRemove();

    const std::string drawsPath = files.Draws();
    AtomicFile draws;
    if (!draws.Open(drawsPath)) throw ConsoleError(Format("\nUnable to open %s file", drawsPath.c_str()));
    if (!sorted.Rewind()) throw ConsoleError("\nCan't read betasrt file.");

    std::vector<double> betas(static_cast<size_t>(p));
    std::vector<double> expanded(static_cast<size_t>(expansion.LevelCount()));
    std::string text;
    for (int block = 1; block <= d; ++block) {
        for (int r = 0; r < n; ++r) {
            // Exactly N * D records were written above, so any short read is a damaged file.
            int32_t number = 0;
            double rlh = 0.0;
            if (!ReadInt32(sorted, number) || !ReadFloat64(sorted, rlh) ||
                !ReadFloat64Run(sorted, betas.data(), betas.size())) {
                throw ConsoleError("\nCan't read betasrt file.");
            }
            ExpandToLevels(expansion, expanded.data(), true, betas.data(), ties);
            text.clear();
            FormatDrawRecord(text, number, rlh, expanded.data(), expansion.LevelCount(), layout.hasNone);
            if (std::fwrite(text.data(), 1, text.size(), draws.File()) != text.size()) {
                throw OmbrelError(WriteFailureMessage(drawsPath));
            }
        }
        report(OutputPhase::ExpandingDraws, block, d);
    }
    if (!draws.Commit()) throw OmbrelError(WriteFailureMessage(drawsPath));
    sorted.CloseAndRemove();
}

}  // namespace ombrel
