#include "common/LogDate.h"

#include <iomanip>
#include <locale>
#include <sstream>

namespace ombrel {

std::string FormatLogDate(const std::tm& localTime) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::put_time(&localTime, "%I:%M:%S%p   %A, %B %d, %Y");
    return text.str();
}

}  // namespace ombrel
