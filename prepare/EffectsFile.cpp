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
#include <memory>

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

// The next token of the line from position on; false when only separators are left.
bool NextToken(const std::string& line, size_t& position, std::string_view& token) {
    while (position < line.size() && IsTokenSeparator(line[position])) ++position;
    if (position == line.size()) return false;
    size_t end = position;
    while (end < line.size() && !IsTokenSeparator(line[end])) ++end;
    token = std::string_view(line.data() + position, end - position);
    position = end;
    return true;
}

// Applies one main-effect token; true when it makes an attribute linear with values-file values.
bool ApplyMainEffect(std::string_view token, const std::string& path, int attributeCount,
                     EffectsMatrix& effects, bool& dropNone) {
    if (token[0] == '#') {
        const int index = AttributeIndex(CheckedLeadingInt(token.substr(1), path), attributeCount);
        effects.Set(index, index, kLinearWithDataValues);
        return false;
    }
    const int64_t number = CheckedLeadingInt(token, path);
    if (number == 0) {
        dropNone = false;
        return false;
    }
    const int index = AttributeIndex(std::llabs(number), attributeCount);
    effects.Set(index, index, number > 0 ? kPartWorth : kLinearWithValues);
    return number < 0;
}

// The first line: sets the diagonal of effects and dropNone. True when some attribute is linear
// with values-file values.
bool ReadMainEffects(const std::string& line, const std::string& path, int attributeCount,
                     EffectsMatrix& effects, bool& dropNone) {
    int tokenCount = 0;
    bool linearWithValuesSeen = false;
    size_t position = 0;
    std::string_view token;
    while (NextToken(line, position, token)) {
        if (++tokenCount > kMaxMainEffectTokens) {
            throw OmbrelError(
                Format("There is a maximum of %d attributes for this program.  Please correct the "
                       "first line of your <studyname>.eff file.",
                       kMaxMainEffectTokens));
        }
        if (ApplyMainEffect(token, path, attributeCount, effects, dropNone)) linearWithValuesSeen = true;
    }
    if (tokenCount == 0) throw OmbrelError(kNoMainEffects);
    return linearWithValuesSeen;
}

// The interaction pairs after the first line, up to the end of the text.
void ReadInteractions(TextSource& source, const std::string& path, int attributeCount,
                      EffectsMatrix& effects) {
    TextNumberScanner scanner(source, path);
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
}

}  // namespace

void ReadEffectsFile(const StudyFiles& files, int attributeCount, const ValuesFileResult& values,
                     std::string& report, EffectsMatrix& effects, bool& dropNone) {
    const std::string path = files.Effects();
    std::unique_ptr<TextSource> text = OpenInputText(path);
    if (!text) {
        report += "\n\nEstimation will include main effects and no interactions.";
        effects = EffectsMatrix::Identity(attributeCount);
        dropNone = false;
        return;
    }
    ReadEffectsFile(*text, path, attributeCount, values, report, effects, dropNone);
}

void ReadEffectsFile(TextSource& source, const std::string& path, int attributeCount,
                     const ValuesFileResult& values, std::string& report, EffectsMatrix& effects,
                     bool& dropNone) {
    report += "\n\nParameters to be estimated are described in the <studyname>.eff file.";
    effects = EffectsMatrix(attributeCount);
    dropNone = true;

    // The whole first line, however long: a cut line would leave its tail to be read as
    // interaction pairs.
    std::string line;
    if (!ReadInputLine(source, line)) {
        CheckReadError(source, path);
        throw OmbrelError(kNoEffects);
    }
    if (ReadMainEffects(line, path, attributeCount, effects, dropNone)) {
        if (!values.fileExists) throw OmbrelError(kLinearWithoutValues);
        if (values.zeroCentred) report += "\nValues for attribute levels have been zero-centered.";
    }
    ReadInteractions(source, path, attributeCount, effects);
    CheckReadError(source, path);
}

}  // namespace ombrel
