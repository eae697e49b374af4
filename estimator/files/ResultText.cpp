#include "estimator/files/ResultText.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace ombrel {

void AppendFormat(std::string& out, const char* format, ...) {
    char local[256];
    va_list arguments;
    va_start(arguments, format);
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(local, sizeof local, format, arguments);
    va_end(arguments);
    if (length < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(length) < sizeof local) {
        out.append(local, static_cast<size_t>(length));
    } else {
        // Only a very long label gets here.
        std::vector<char> large(static_cast<size_t>(length) + 1);
        std::vsnprintf(large.data(), large.size(), format, copy);
        out.append(large.data(), static_cast<size_t>(length));
    }
    va_end(copy);
}

void AppendLevelValues(std::string& out, const double* values, int count) {
    for (int k = 0; k < count; ++k) {
        if (k > 0 && k % 10 == 0) out.push_back('\n');
        AppendFormat(out, "%7.3lf ", values[k]);
    }
}

void AppendRespondentHeader(std::string& out, int32_t respondentNumber, double rlhTimes1000, int levelCount,
                            bool hasNone) {
    AppendFormat(out, "%7d %7.0lf  0 %d %d\n", respondentNumber, rlhTimes1000, levelCount, hasNone ? -1 : 0);
}

std::string WriteFailureMessage(const std::string& path) {
    return "The file " + path + " could not be written completely (the disk may be full).";
}

}  // namespace ombrel
