#pragma once

#include <string>

namespace ombrel {

// Folder of the running executable (from /proc/self/exe), with a trailing "/".
// Throws OmbrelError when it cannot be found.
std::string ProgramFolder();

// The folder that holds the names file "names.pellik", with a trailing "/": ChooseSettingsFolder
// for the program folder and $HOME.
std::string SettingsFolder();

// The program folder when it is writable; otherwise home + "/.config/ombrel/", created with its
// parents when missing. home may be null or empty (no HOME). Throws OmbrelError, naming both
// folders, when neither can be used.
std::string ChooseSettingsFolder(const std::string& programFolder, const char* home);

}  // namespace ombrel
