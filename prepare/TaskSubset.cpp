// The subset file (study name + ".sub"), text: task numbers 1 .. 1000 separated by any white space
// ("2 5 7"); reading stops at the first text that is not a number or after 1000 numbers.

#include "prepare/TaskSubset.h"

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "prepare/InputFile.h"

namespace ombrel {

TaskSubset ReadTaskSubsetFile(const std::string& studyName, std::string& report) {
    TaskSubset subset;
    const std::string path = studyName + ".sub";
    InputFilePtr file = OpenInputFile(path);
    if (!file) return subset;

    report += "\n\nOnly the following tasks will be used for estimation:\n";
    subset.Clear();
    TextNumberScanner scanner(file.get());
    int32_t taskNumber = 0;
    for (int read = 0; read < kMaxTasks && scanner.ReadInt(taskNumber); ++read) {
        if (taskNumber < 1 || taskNumber > kMaxTasks) {
            throw OmbrelError("A number specified in the <studyname>.sub file is out of range.");
        }
        report += Format("%d ", taskNumber);
        subset.Keep(taskNumber);
    }
    CheckReadError(file.get(), path);
    return subset;
}

}  // namespace ombrel
