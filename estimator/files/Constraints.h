#pragma once

#include <string>
#include <vector>

#include "common/StudyFiles.h"
#include "common/TextSource.h"
#include "estimator/files/AttributeModel.h"

namespace ombrel {

// Reading stops, without a message, once this many constraints are stored.
inline constexpr int kMaxConstraints = 1000;

// One line of the constraints file. attribute counts from 1. levelB != 0: level levelA of the
// attribute is at least as good as level levelB. levelB == 0: the attribute is linear and the sign of
// levelA is the required sign of its coefficient.
struct Constraint {
    int attribute = 0;
    int levelA = 0;
    int levelB = 0;

    bool operator==(const Constraint&) const = default;
};

// Throws OmbrelError with the user's message when the constraint does not fit the model. The checks
// run in a fixed order and the first that fails decides the message. checkInteractions refuses a
// constraint on an attribute that takes part in an interaction (dummy coding cannot tie those).
void CheckConstraint(const Constraint& constraint, const AttributeModel& model, bool checkInteractions);

// Reads triples of integers from the text until a triple cannot be read completely or
// kMaxConstraints are stored, checking each with CheckConstraint before it is stored. A failed source
// reads as its end: the caller tells the two apart with Failed().
std::vector<Constraint> ReadConstraintList(TextSource& source, const AttributeModel& model,
                                           bool checkInteractions);

// Reads the study's constraints file. No file: no constraints and no message. The interaction check
// applies only with dummy coding. Throws OmbrelError on the first constraint that does not fit the
// model, and naming the file when it cannot be read.
std::vector<Constraint> ReadConstraints(const StudyFiles& study, const AttributeModel& model,
                                        bool effectsCoding);
// The same for the study of studyName (the data file path less its extension).
std::vector<Constraint> ReadConstraints(const std::string& studyName, const AttributeModel& model,
                                        bool effectsCoding);

}  // namespace ombrel
