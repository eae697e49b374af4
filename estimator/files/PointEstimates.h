#pragma once

// The per-respondent result files, all text with "\n" line ends:
//
//   ".lay"  layoutText: per estimated attribute i and level k "%d %d %s\n" (i + 1, k + 1, label; a
//           linear attribute has one level); per interaction i < j, per level of i and within it per
//           level of j "%s x %s\n"; "NONE\n" when None is estimated.
//   ".hbu"  "%d %d %d %d %d\n" (attributeCount, None 1/0, levelCount, 1, 1); every attribute's level
//           count "%d " then "\n"; attributeCount rows of the attribute codes, "%d " each then "\n";
//           layoutText; per respondent "%7d %7.0lf  0 %d %d\n" (number, mean RLH x 1000, 0, levelCount,
//           -1 with None else 0), levelCount estimates "%7.3lf " with "\n" before the 11th, 21st, ...
//           value, then "\n".
//   ".csv"  "Respondent,RLH,Merged Variables,Parameters,None", ",%s" per level label, ",%s x %s" per
//           interaction cell (commas in labels become blanks), "\n"; per respondent
//           "%7d,%7.0lf,0,%d,%d" then ",%7.3lf" per estimate, then "\n".
//   ".std"  per respondent "%7d\n", then levelCount standard deviations "%7.3lf " with the same line
//           breaks, then "\n".

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/FileHandle.h"
#include "common/StudyFiles.h"
#include "common/TextNumberScanner.h"
#include "estimator/files/AttributeModel.h"
#include "estimator/files/DrawFiles.h"

namespace ombrel {

// One respondent's point estimates: mean RLH (already x 1000) and levelCount mean level values.
struct PointEstimate {
    int32_t respondentNumber = 0;
    double rlhTimes1000 = 0.0;
    std::vector<double> values;
};

// Yields the point estimates respondent by respondent, in data order.
class PointEstimateSource {
public:
    virtual ~PointEstimateSource() = default;
    // Fills the next respondent's estimate (values sized levelCount); false after the last respondent.
    // Throws OmbrelError with the source's message when its file is damaged or short.
    virtual bool Next(PointEstimate& estimate) = 0;
};

// Averages of the draws file (the study's ".dra"): D records per respondent, each read as
// "%d %lf %*d %*d %*d" and levelCount "%lf". The averages are over the values as printed there.
// Reports ComputingPointEstimates before each respondent. A value that cannot be read:
// "\nIncomplete studyname.dra file"; a draws file that cannot be opened: "\nUnable to open %s file".
class DrawsFileEstimates : public PointEstimateSource {
public:
    DrawsFileEstimates(const std::string& drawsPath, const DrawLayout& layout, int levelCount,
                       OutputProgress progress);
    // The same over draws text from any source (memory in tests).
    DrawsFileEstimates(std::unique_ptr<TextSource> draws, const DrawLayout& layout, int levelCount,
                       OutputProgress progress);
    bool Next(PointEstimate& estimate) override;

private:
    std::unique_ptr<TextSource> text_;
    TextNumberScanner scanner_;
    DrawLayout layout_;
    int levelCount_;
    OutputProgress progress_;
    int respondent_ = 0;
};

// Averages of the accumulator file "betas.upd" (rewound first): RLH sum x 1000 / D and each level sum
// / D. A short read: "\nCan't read cumbetafile file (4).".
class AccumulatorEstimates : public PointEstimateSource {
public:
    AccumulatorEstimates(DrawScratchFile& accumulators, const DrawLayout& layout, int levelCount);
    bool Next(PointEstimate& estimate) override;

private:
    DrawScratchFile& file_;
    DrawLayout layout_;
    int levelCount_;
    int respondent_ = 0;
    std::vector<unsigned char> record_;
};

// Where the point estimates come from: the draws file when draws were saved, else "betas.upd".
struct EstimateInputs {
    const StudyFiles* files = nullptr;  // the study's result files; must be set
    DrawLayout layout;
    bool saveDraws = false;
    DrawScratchFile* accumulators = nullptr;  // "betas.upd", needed without saveDraws
    OutputProgress progress;
};

// A fresh source over the inputs (each writer computes the estimates anew).
std::unique_ptr<PointEstimateSource> OpenPointEstimates(const EstimateInputs& inputs, int levelCount);

// layoutText of the model.
std::string LayoutText(const AttributeModel& model);

// ".lay" then ".hbu". "Cannot create <studyname>.lay file." when the layout file cannot be created,
// "\nUnable to open %s file" for the part-worth file. Each file is written beside its target and
// renamed into place when complete; a failed write throws and leaves the previous file.
void WritePointEstimates(const AttributeModel& model, const EstimateInputs& inputs);

// ".csv".
void WriteCsv(const AttributeModel& model, const EstimateInputs& inputs);

// ".std" (at path) from "betas.upd" (without saveDraws): per level mean = sum / D, v = squares / D - mean^2,
// written as sqrt(v) when v > 0, else v itself.
void WriteStandardDeviations(const std::string& path, DrawScratchFile& accumulators, const DrawLayout& layout,
                             int levelCount);

}  // namespace ombrel
