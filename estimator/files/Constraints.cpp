// Constraints file (the study's Constraints() file, "<study name>.con"), text, free form:
// whitespace-separated decimal integers taken three at a time, line breaks meaning nothing more than white
// space. Each triple is "attribute levelA levelB"; levelB = 0 makes it a sign condition on a linear
// attribute. Reading ends at the first incomplete triple (end of file or text that is not a number).

#include "estimator/files/Constraints.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "common/FileHandle.h"
#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "estimator/files/StudyOfName.h"

namespace ombrel {

namespace {

int Code(const AttributeModel& model, int i, int j) {
    const auto& row = model.attributeCodes[static_cast<size_t>(i)];
    return static_cast<size_t>(j) < row.size() ? row[static_cast<size_t>(j)] : 0;
}

bool InInteraction(const AttributeModel& model, int index) {
    for (int i = 0; i < model.attributeCount; ++i) {
        for (int j = i + 1; j < model.attributeCount; ++j) {
            if (Code(model, i, j) > 0 && (i == index || j == index)) return true;
        }
    }
    return false;
}

}  // namespace

void CheckConstraint(const Constraint& constraint, const AttributeModel& model, bool checkInteractions) {
    const int a = constraint.attribute;
    const int b = constraint.levelA;
    const int c = constraint.levelB;
    // The model's tables may be shorter than its count when the label file was cut short; an attribute
    // the tables do not describe is as unknown as one beyond the count.
    const int known = std::min<int>({model.attributeCount, static_cast<int>(model.levelsPerAttribute.size()),
                                     static_cast<int>(model.attributeCodes.size())});
    if (a < 1 || a > known) {
        throw OmbrelError(
            Format("The <studyname>.con file specifies an attribute (%d) that is out of range.", a));
    }
    if (b == c) {
        throw OmbrelError(
            Format("The <studyname>.con file specifies a constraint for attribute %d where a level "
                   "is prohibited with itself.",
                   a));
    }
    const int levels = model.levelsPerAttribute[static_cast<size_t>(a - 1)];
    const bool linear = Code(model, a - 1, a - 1) < 0;
    // A negative first level is a sign; in an ordering of a part-worth attribute it would name a level
    // before the first one.
    const int64_t magnitude = std::llabs(static_cast<int64_t>(b));
    if (magnitude < 1 || magnitude > levels || (c != 0 && !linear && b < 0)) {
        throw OmbrelError(
            Format("The <studyname>.con file specifies a constraint for attribute %d, but level %d "
                   "does not exist.",
                   a, b));
    }
    if (c == 0 && !linear) {
        throw OmbrelError(
            Format("The <studyname>.con file specifies a constraint for a linear attribute, but the "
                   "attribute (%d) is not linear.",
                   a));
    }
    if (c < 0 || c > levels) {
        throw OmbrelError(
            Format("The <studyname>.con file specifies a constraint for attribute %d, but level %d "
                   "does not exist.",
                   a, c));
    }
    if (checkInteractions && InInteraction(model, a - 1)) {
        throw OmbrelError(
            Format("The <studyname>.con file specifies a constraint for attribute %d, but interaction "
                   "terms are to be estimated for the attribute.  Dummy coding does not allow "
                   "constraining attributes with interaction terms.",
                   a));
    }
}

std::vector<Constraint> ReadConstraintList(TextSource& source, const AttributeModel& model,
                                           bool checkInteractions) {
    std::vector<Constraint> constraints;
    TextNumberScanner scanner(source, "<studyname>.con");
    while (static_cast<int>(constraints.size()) < kMaxConstraints) {
        int32_t a = 0;
        int32_t b = 0;
        int32_t c = 0;
        if (!scanner.ReadInt(a) || !scanner.ReadInt(b) || !scanner.ReadInt(c)) break;
        Constraint constraint{a, b, c};
        CheckConstraint(constraint, model, checkInteractions);
        constraints.push_back(constraint);
    }
    return constraints;
}

std::vector<Constraint> ReadConstraints(const StudyFiles& study, const AttributeModel& model,
                                        bool effectsCoding) {
    const std::string path = study.Constraints();
    FileHandle file;
    if (!file.Open(path, "rb")) return {};
    FileTextSource source(std::move(file));
    std::vector<Constraint> constraints = ReadConstraintList(source, model, !effectsCoding);
    // A read error would otherwise pass for the end of the file and drop the remaining constraints.
    if (source.Failed())
        throw OmbrelError(Format("The constraints file %s could not be read.", path.c_str()));
    return constraints;
}

std::vector<Constraint> ReadConstraints(const std::string& studyName, const AttributeModel& model,
                                        bool effectsCoding) {
    const std::optional<StudyFiles> study = StudyOfName(studyName);
    if (!study) return {};
    return ReadConstraints(*study, model, effectsCoding);
}

}  // namespace ombrel
