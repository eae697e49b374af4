// The subset file (study name + ".sub"), text: task numbers 1 .. 1000 separated by any white space
// ("2 5 7"); reading stops at the first text that is not a number or after 1000 numbers.

#include "prepare/TaskSubset.h"

#include <cmath>
#include <memory>

#include "common/OmbrelError.h"
#include "common/TextConversion.h"
#include "common/TextNumberScanner.h"
#include "prepare/InputFile.h"

namespace ombrel {
namespace {
constexpr const char* kOutOfRange = "A number specified in the <studyname>.sub file is out of range.";
}  // namespace

TaskSubset ReadTaskSubsetFile(const StudyFiles& files, std::string& report) {
    const std::string path = files.TaskSubset();
    std::unique_ptr<TextSource> text = OpenInputText(path);
    if (!text) return TaskSubset();
    return ReadTaskSubsetFile(*text, path, report);
}

TaskSubset ReadTaskSubsetFile(TextSource& source, const std::string& path, std::string& report) {
    TaskSubset subset;
    report += "\n\nOnly the following tasks will be used for estimation:\n";
    subset.Clear();
    TextNumberScanner scanner(source, path);
    int32_t taskNumber = 0;
    for (int read = 0; read < kMaxTasks; ++read) {
        if (!scanner.ReadInt(taskNumber)) {
            // An integer too long for any int is out of range too; taking it for the end of the list
            // would silently drop the task numbers after it.
            double tooLong = 0.0;
            if (scanner.ReadDouble(tooLong) && std::fabs(tooLong) > 2147483647.0) {
                throw OmbrelError(kOutOfRange);
            }
            break;
        }
        if (taskNumber < 1 || taskNumber > kMaxTasks) throw OmbrelError(kOutOfRange);
        report += Format("%d ", taskNumber);
        subset.Keep(taskNumber);
    }
    CheckReadError(source, path);
    return subset;
}

}  // namespace ombrel
