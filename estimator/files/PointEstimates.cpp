#include "estimator/files/PointEstimates.h"

#include <cmath>

#include "common/AtomicFile.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "estimator/files/ResultText.h"

namespace ombrel {

namespace {

void CheckDrawCount(const DrawLayout& layout) {
    if (layout.drawsPerRespondent < 1) {
        throw OmbrelError(
            Format("There are no draws to average (%d draws per respondent).", layout.drawsPerRespondent));
    }
}

// Levels a main effect shows in the outputs: one for a linear attribute.
int ShownLevels(const AttributeModel& model, int attribute) {
    const int code = model.attributeCodes[static_cast<size_t>(attribute)][static_cast<size_t>(attribute)];
    if (code == 0) return 0;
    return code < 0 ? 1 : model.levelsPerAttribute[static_cast<size_t>(attribute)];
}

const std::string& Label(const AttributeModel& model, int attribute, int level) {
    static const std::string kEmpty;
    const auto& labels = model.attributeLabels;
    if (static_cast<size_t>(attribute) >= labels.size()) return kEmpty;
    const auto& list = labels[static_cast<size_t>(attribute)];
    return static_cast<size_t>(level) < list.size() ? list[static_cast<size_t>(level)] : kEmpty;
}

bool Interacts(const AttributeModel& model, int i, int j) {
    return model.attributeCodes[static_cast<size_t>(i)][static_cast<size_t>(j)] > 0;
}

std::string CsvLabel(std::string label) {
    for (char& c : label) {
        if (c == ',') c = ' ';
    }
    return label;
}

void WriteText(AtomicFile& file, const std::string& text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file.File()) != text.size()) {
        throw OmbrelError(WriteFailureMessage(file.Path()));
    }
}

void Commit(AtomicFile& file) {
    const std::string path = file.Path();
    if (!file.Commit()) throw OmbrelError(WriteFailureMessage(path));
}

// The draws file, once the layout has draws to average.
FileHandle OpenDraws(const std::string& drawsPath, const DrawLayout& layout) {
    CheckDrawCount(layout);
    FileHandle file;
    if (!file.Open(drawsPath, "rb"))
        throw ConsoleError(Format("\nUnable to open %s file", drawsPath.c_str()));
    return file;
}

void OpenResult(AtomicFile& file, const std::string& path) {
    if (!file.Open(path)) throw ConsoleError(Format("\nUnable to open %s file", path.c_str()));
}

}  // namespace

DrawsFileEstimates::DrawsFileEstimates(const std::string& drawsPath, const DrawLayout& layout, int levelCount,
                                       OutputProgress progress)
    : DrawsFileEstimates(std::make_unique<FileTextSource>(OpenDraws(drawsPath, layout)), layout, levelCount,
                         std::move(progress)) {}

DrawsFileEstimates::DrawsFileEstimates(std::unique_ptr<TextSource> draws, const DrawLayout& layout,
                                       int levelCount, OutputProgress progress)
    : text_(std::move(draws)),
      scanner_(*text_, "studyname.dra"),
      layout_(layout),
      levelCount_(levelCount),
      progress_(std::move(progress)) {}

bool DrawsFileEstimates::Next(PointEstimate& estimate) {
    if (respondent_ >= layout_.respondentCount) return false;
    ++respondent_;
    if (progress_) progress_(OutputPhase::ComputingPointEstimates, respondent_, layout_.respondentCount);
    estimate.values.assign(static_cast<size_t>(levelCount_), 0.0);
    double rlhSum = 0.0;
    int32_t number = 0;
    for (int draw = 0; draw < layout_.drawsPerRespondent; ++draw) {
        double rlh = 0.0;
        bool ok = scanner_.ReadInt(number) && scanner_.ReadDouble(rlh) && scanner_.SkipInt() &&
                  scanner_.SkipInt() && scanner_.SkipInt();
        rlhSum += rlh;
        for (int k = 0; ok && k < levelCount_; ++k) {
            double value = 0.0;
            ok = scanner_.ReadDouble(value);
            estimate.values[static_cast<size_t>(k)] += value;
        }
        if (!ok) throw ConsoleError("\nIncomplete studyname.dra file");
    }
    estimate.respondentNumber = number;
    estimate.rlhTimes1000 = rlhSum / layout_.drawsPerRespondent;
    for (double& value : estimate.values) value /= layout_.drawsPerRespondent;
    return true;
}

AccumulatorEstimates::AccumulatorEstimates(DrawScratchFile& accumulators, const DrawLayout& layout,
                                           int levelCount)
    : file_(accumulators),
      layout_(layout),
      levelCount_(levelCount),
      record_(AccumulatorRecordSize(levelCount)) {
    CheckDrawCount(layout);
    if (!file_.Rewind()) throw ConsoleError("\nCan't read cumbetafile file (4).");
}

bool AccumulatorEstimates::Next(PointEstimate& estimate) {
    if (respondent_ >= layout_.respondentCount) return false;
    ++respondent_;
    if (file_.Read(record_.data(), record_.size()) != record_.size()) {
        throw ConsoleError("\nCan't read cumbetafile file (4).");
    }
    const double d = layout_.drawsPerRespondent;
    estimate.respondentNumber = DecodeInt32(record_.data());
    estimate.rlhTimes1000 = DecodeFloat64(record_.data() + 4) * 1000.0 / d;
    estimate.values.resize(static_cast<size_t>(levelCount_));
    for (int k = 0; k < levelCount_; ++k) {
        estimate.values[static_cast<size_t>(k)] = DecodeFloat64(record_.data() + 12 + 8 * k) / d;
    }
    return true;
}

std::unique_ptr<PointEstimateSource> OpenPointEstimates(const EstimateInputs& inputs, int levelCount) {
    if (inputs.saveDraws) {
        return std::make_unique<DrawsFileEstimates>(inputs.files->Draws(), inputs.layout, levelCount,
                                                    inputs.progress);
    }
    if (inputs.accumulators == nullptr) throw ConsoleError("\nCan't read cumbetafile file (4).");
    return std::make_unique<AccumulatorEstimates>(*inputs.accumulators, inputs.layout, levelCount);
}

std::string LayoutText(const AttributeModel& model) {
    std::string text;
    for (int i = 0; i < model.attributeCount; ++i) {
        for (int k = 0; k < ShownLevels(model, i); ++k) {
            AppendFormat(text, "%d %d %s\n", i + 1, k + 1, Label(model, i, k).c_str());
        }
    }
    for (int i = 0; i < model.attributeCount; ++i) {
        for (int j = i + 1; j < model.attributeCount; ++j) {
            if (!Interacts(model, i, j)) continue;
            for (int k = 0; k < ShownLevels(model, i); ++k) {
                for (int l = 0; l < ShownLevels(model, j); ++l) {
                    AppendFormat(text, "%s x %s\n", Label(model, i, k).c_str(), Label(model, j, l).c_str());
                }
            }
        }
    }
    if (model.hasNone) text += "NONE\n";
    return text;
}

void WritePointEstimates(const AttributeModel& model, const EstimateInputs& inputs) {
    LevelExpansion(model, true);  // the tables below are indexed as the model's counts say
    const std::string layout = LayoutText(model);
    {
        AtomicFile layoutFile;
        if (!layoutFile.Open(inputs.files->Layout()))
            throw OmbrelError("Cannot create <studyname>.lay file.");
        WriteText(layoutFile, layout);
        Commit(layoutFile);
    }

    AtomicFile file;
    OpenResult(file, inputs.files->PartWorths());
    std::string text;
    AppendFormat(text, "%d %d %d %d %d\n", model.attributeCount, model.hasNone ? 1 : 0, model.levelCount, 1,
                 1);
    for (int i = 0; i < model.attributeCount; ++i)
        AppendFormat(text, "%d ", model.levelsPerAttribute[static_cast<size_t>(i)]);
    text += "\n";
    for (int i = 0; i < model.attributeCount; ++i) {
        for (int j = 0; j < model.attributeCount; ++j) {
            AppendFormat(text, "%d ", model.attributeCodes[static_cast<size_t>(i)][static_cast<size_t>(j)]);
        }
        text += "\n";
    }
    text += layout;
    WriteText(file, text);

    auto source = OpenPointEstimates(inputs, model.levelCount);
    PointEstimate estimate;
    while (source->Next(estimate)) {
        text.clear();
        AppendRespondentHeader(text, estimate.respondentNumber, estimate.rlhTimes1000, model.levelCount,
                               model.hasNone);
        AppendLevelValues(text, estimate.values.data(), model.levelCount);
        text += "\n";
        WriteText(file, text);
    }
    Commit(file);
}

void WriteCsv(const AttributeModel& model, const EstimateInputs& inputs) {
    LevelExpansion(model, true);
    AtomicFile file;
    OpenResult(file, inputs.files->Spreadsheet());
    std::string text = "Respondent,RLH,Merged Variables,Parameters,None";
    for (int i = 0; i < model.attributeCount; ++i) {
        for (int k = 0; k < ShownLevels(model, i); ++k) text += "," + CsvLabel(Label(model, i, k));
    }
    for (int i = 0; i < model.attributeCount; ++i) {
        for (int j = i + 1; j < model.attributeCount; ++j) {
            if (!Interacts(model, i, j)) continue;
            for (int k = 0; k < ShownLevels(model, i); ++k) {
                for (int l = 0; l < ShownLevels(model, j); ++l) {
                    text += "," + CsvLabel(Label(model, i, k)) + " x " + CsvLabel(Label(model, j, l));
                }
            }
        }
    }
    text += "\n";
    WriteText(file, text);

    auto source = OpenPointEstimates(inputs, model.levelCount);
    PointEstimate estimate;
    while (source->Next(estimate)) {
        text.clear();
        AppendFormat(text, "%7d,%7.0lf,0,%d,%d", estimate.respondentNumber, estimate.rlhTimes1000,
                     model.levelCount, model.hasNone ? -1 : 0);
        for (double value : estimate.values) AppendFormat(text, ",%7.3lf", value);
        text += "\n";
        WriteText(file, text);
    }
    Commit(file);
}

void WriteStandardDeviations(const std::string& path, DrawScratchFile& accumulators, const DrawLayout& layout,
                             int levelCount) {
    CheckDrawCount(layout);
    AtomicFile file;
    OpenResult(file, path);
    if (!accumulators.Rewind()) throw ConsoleError("\nCan't read cumbetafile file (4).");
    std::vector<unsigned char> record(AccumulatorRecordSize(levelCount));
    std::vector<double> deviations(static_cast<size_t>(levelCount));
    const double d = layout.drawsPerRespondent;
    std::string text;
    for (int r = 0; r < layout.respondentCount; ++r) {
        if (accumulators.Read(record.data(), record.size()) != record.size()) {
            throw ConsoleError("\nCan't read cumbetafile file (4).");
        }
        for (int k = 0; k < levelCount; ++k) {
            const double mean = DecodeFloat64(record.data() + 12 + 8 * k) / d;
            const double v = DecodeFloat64(record.data() + 12 + 8 * (levelCount + k)) / d - mean * mean;
            // A rounding residue below zero is written as it is, not hidden.
            deviations[static_cast<size_t>(k)] = v > 0.0 ? std::sqrt(v) : v;
        }
        text.clear();
        AppendFormat(text, "%7d\n", DecodeInt32(record.data()));
        AppendLevelValues(text, deviations.data(), levelCount);
        text += "\n";
        WriteText(file, text);
    }
    Commit(file);
}

}  // namespace ombrel
