#pragma once

#include <ctime>
#include <string>

namespace ombrel {

// The date line that opens every entry of a study's log, as strftime's "%I:%M:%S%p   %A, %B %d, %Y"
// in the "C" locale (English names whatever the user's locale), e.g. "09:05:07AM   Monday, December 07,
// 2026".
std::string FormatLogDate(const std::tm& localTime);

}  // namespace ombrel
