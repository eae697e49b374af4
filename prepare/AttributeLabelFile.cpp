// The attribute label file "qebatt.tmp" in the study folder, text with LF line ends, for N attributes:
//
//   N none c1 .. cN          "%d %d" then " %d" per attribute; none is 1 when the None parameter is
//                            estimated; c is 1 for a linear attribute, else the level count
//   e11 e12 .. e1N           N lines: row i of the effects matrix, each entry "%d " (the linear-with-
//   ..                       data-values code written as -1), then a line end
//   i l label                per estimated attribute i: "%d %d %s" per level of a part-worth attribute,
//                            one line "i 1 <values-file text>" for a linear one
//   labelA x labelB          per interacting pair a < b, level of a outer, level of b inner ("%s x %s";
//                            a linear attribute counts as one level labelled with its values-file text)
//   NONE                     only when the None parameter is estimated
//
// Numbers are 1-based. Labels are trimmed and written as ":" when empty.

#include "prepare/AttributeLabelFile.h"

#include <cstdio>

#include "common/ByteStream.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"

namespace ombrel {
namespace {

// A label as the file holds it: one line's text, never empty (the estimator's reader would take the
// next line as its text). Cut at a NUL byte, as a C string would be.
std::string LabelText(const std::string& text) {
    std::string label = Trim(std::string_view(text.c_str()));
    return label.empty() ? std::string(":") : label;
}

// The labels of one attribute as an interaction table sees them: every level of a part-worth
// attribute, the values-file text of a linear one.
std::vector<std::string> InteractionLabels(const LevelTexts& levelTexts,
                                           const std::vector<std::string>& valueTexts,
                                           const EffectsMatrix& effects, int attribute) {
    if (effects.IsLinear(attribute)) {
        size_t index = static_cast<size_t>(attribute);
        return {LabelText(index < valueTexts.size() ? valueTexts[index] : std::string())};
    }
    std::vector<std::string> labels;
    for (const std::string& text : levelTexts[static_cast<size_t>(attribute)])
        labels.push_back(LabelText(text));
    return labels;
}

}  // namespace

std::string FormatAttributeLabels(const LevelTexts& levelTexts, const std::vector<std::string>& valueTexts,
                                  const EffectsMatrix& effects, bool noneEstimated) {
    const int attributeCount = static_cast<int>(levelTexts.size());
    if (effects.AttributeCount() != attributeCount) {
        throw OmbrelError(
            Format("The %s file cannot be written: the model has %d attributes, the attribute "
                   "file %d.",
                   kAttributeLabelFileName, effects.AttributeCount(), attributeCount));
    }

    std::string out = Format("%d %d", attributeCount, noneEstimated ? 1 : 0);
    for (int i = 0; i < attributeCount; ++i) {
        int columns = effects.IsLinear(i) ? 1 : static_cast<int>(levelTexts[static_cast<size_t>(i)].size());
        out += Format(" %d", columns);
    }
    out += "\n";

    for (int i = 0; i < attributeCount; ++i) {
        for (int j = 0; j < attributeCount; ++j) {
            int32_t code = effects.At(i, j);
            out += Format("%d ", code == kLinearWithDataValues ? -1 : code);
        }
        out += "\n";
    }

    for (int i = 0; i < attributeCount; ++i) {
        if (!effects.IsEstimated(i)) continue;
        std::vector<std::string> labels = InteractionLabels(levelTexts, valueTexts, effects, i);
        for (size_t level = 0; level < labels.size(); ++level) {
            out += Format("%d %d %s\n", i + 1, static_cast<int>(level) + 1, labels[level].c_str());
        }
    }

    for (int a = 0; a < attributeCount; ++a) {
        for (int b = a + 1; b < attributeCount; ++b) {
            if (!effects.HasInteraction(a, b)) continue;
            std::vector<std::string> labelsA = InteractionLabels(levelTexts, valueTexts, effects, a);
            std::vector<std::string> labelsB = InteractionLabels(levelTexts, valueTexts, effects, b);
            for (const std::string& labelA : labelsA) {
                for (const std::string& labelB : labelsB) out += labelA + " x " + labelB + "\n";
            }
        }
    }

    if (noneEstimated) out += "NONE\n";
    return out;
}

void WriteAttributeLabelFile(const std::string& studyFolder, const LevelTexts& levelTexts,
                             const std::vector<std::string>& valueTexts, const EffectsMatrix& effects,
                             bool noneEstimated) {
    const std::string text = FormatAttributeLabels(levelTexts, valueTexts, effects, noneEstimated);
    const std::string path = AttributeLabelPath(studyFolder);

    FileByteStream file;
    if (!file.Open(path, "wb")) {
        throw OmbrelError(
            Format("The attribute label file %s could not be created.  Please check the folder "
                   "for read-only attributes and access restrictions.",
                   path.c_str()));
    }
    bool written = file.Write(text.data(), text.size());
    // Close also flushes: a full device shows up only here.
    bool closed = file.Close();
    if (!written || !closed) {
        // A cut-off label file would misdescribe the model to a later resumed run.
        std::remove(path.c_str());
        throw OmbrelError(
            Format("The attribute label file %s could not be written.  Please check the free "
                   "space on the device.",
                   path.c_str()));
    }
}

}  // namespace ombrel
