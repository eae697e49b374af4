// The effects file (study name + ".eff"), text, LF or CR LF:
//
//   1, 2, -3, #4, 0        first line: the main effects, tokens separated by blanks, commas or tabs
//                          n part-worth, -n linear with values-file values, #n linear with the data's
//                          own numbers, 0 (or a token that is not a number) the None parameter
//   1 2                    then integer pairs, separated by any white space: the interaction of
//   2 3                    attributes a and b
//
// Attributes not listed are not estimated; a later token for an attribute overrides an earlier one.

#include "prepare/EffectsFile.h"

#include <cstdint>
#include <cstdlib>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "prepare/InputFile.h"

namespace ombrel {
namespace {

constexpr int kMaxMainEffectTokens = 1000;

constexpr const char* kNoEffects = "The <studyname>.eff file specifies no effects.";
constexpr const char* kNoMainEffects = "The <studyname>.eff file specifies no main effects.";
constexpr const char* kOutOfRange = "An attribute specified in the <studyname.eff> file was out of range.";
constexpr const char* kLinearWithoutValues =
    "The <studyname>.eff file specifies a linear attribute, but no <studyname>.val file was found.";
constexpr const char* kInvalidInteraction =
    "The <studyname>.eff file specifies an invalid interaction effect.";
constexpr const char* kInteractionWithoutMainEffect =
    "An attribute specified in the <studyname.eff> file was specified in an interaction, but the main effect "
    "was not specified.";

bool IsTokenSeparator(char c) { return c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n'; }

// An attribute number of the file as a 0-based index, or throws the out-of-range message.
int AttributeIndex(int64_t number, int attributeCount) {
    if (number < 1 || number > attributeCount) throw OmbrelError(kOutOfRange);
    return static_cast<int>(number - 1);
}

}  // namespace

void ReadEffectsFile(const std::string& studyName, int attributeCount, const ValuesFileResult& values,
                     std::string& report, EffectsMatrix& effects, bool& dropNone) {
    const std::string path = studyName + ".eff";
    InputFilePtr file = OpenInputFile(path);
    if (!file) {
        report += "\n\nEstimation will include main effects and no interactions.";
        effects = EffectsMatrix::Identity(attributeCount);
        dropNone = false;
        return;
    }

    report += "\n\nParameters to be estimated are described in the <studyname>.eff file.";
    effects = EffectsMatrix(attributeCount);
    dropNone = true;

    // The whole first line, however long: a cut line would leave its tail to be read as
    // interaction pairs.
    std::string line;
    if (!ReadTextLine(file.get(), line)) {
        CheckReadError(file.get(), path);
        throw OmbrelError(kNoEffects);
    }

    int tokenCount = 0;
    bool linearWithValuesSeen = false;
    size_t position = 0;
    for (;;) {
        while (position < line.size() && IsTokenSeparator(line[position])) ++position;
        if (position == line.size()) break;
        size_t end = position;
        while (end < line.size() && !IsTokenSeparator(line[end])) ++end;
        const std::string_view token(line.data() + position, end - position);
        position = end;

        if (++tokenCount > kMaxMainEffectTokens) {
            throw OmbrelError(
                Format("There is a maximum of %d attributes for this program.  Please correct the "
                       "first line of your <studyname>.eff file.",
                       kMaxMainEffectTokens));
        }
        if (token[0] == '#') {
            const int index = AttributeIndex(LeadingInt(token.substr(1)), attributeCount);
            effects.Set(index, index, kLinearWithDataValues);
            continue;
        }
        const int64_t number = LeadingInt(token);
        if (number == 0) {
            dropNone = false;
            continue;
        }
        const int index = AttributeIndex(std::llabs(number), attributeCount);
        if (number > 0) {
            effects.Set(index, index, kPartWorth);
        } else {
            effects.Set(index, index, kLinearWithValues);
            linearWithValuesSeen = true;
        }
    }
    if (tokenCount == 0) throw OmbrelError(kNoMainEffects);

    if (linearWithValuesSeen) {
        if (!values.fileExists) throw OmbrelError(kLinearWithoutValues);
        if (values.zeroCentred) report += "\nValues for attribute levels have been zero-centered.";
    }

    TextNumberScanner scanner(file.get());
    while (!scanner.AtEnd()) {
        int32_t first = 0;
        int32_t second = 0;
        if (!scanner.ReadInt(first) || !scanner.ReadInt(second)) throw OmbrelError(kInvalidInteraction);
        const int a = AttributeIndex(first, attributeCount);
        const int b = AttributeIndex(second, attributeCount);
        if (!effects.IsEstimated(a) || !effects.IsEstimated(b))
            throw OmbrelError(kInteractionWithoutMainEffect);
        if (a == b) {
            // A pair of one attribute writes 1 onto the diagonal: nothing changes for a part-worth
            // attribute, but a linear one would silently become a part-worth attribute.
            if (effects.IsLinear(a)) {
                throw OmbrelError(
                    Format("The %s file specifies an interaction of the linear attribute %d with "
                           "itself.",
                           path.c_str(), first));
            }
            continue;
        }
        effects.SetInteraction(a, b);
    }
    CheckReadError(file.get(), path);
}

}  // namespace ombrel
