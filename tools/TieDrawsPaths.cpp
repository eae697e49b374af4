#include "tools/TieDrawsPaths.h"

#include <algorithm>
#include <cctype>

#include "common/TextConversion.h"

namespace ombrel {

namespace {

constexpr const char* kPartWorthExtension = ".hbu";
// What a tied part-worth file adds before its extension.
constexpr const char* kTiedSuffix = "_tiedraws";
constexpr const char* kSpreadsheetExtension = ".csv";
constexpr const char* kDrawsExtension = ".dra";
constexpr const char* kConstraintsExtension = ".con";

size_t NameStart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// Lower-cases the file-name part; the folder part may differ in case from an existing folder.
std::string LowerCasedName(const std::string& path) {
    std::string name = path.substr(NameStart(path));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace

std::string TiedPartWorthPath(const std::string& partWorthPath) {
    const std::string name = LowerCasedName(partWorthPath);
    if (name.find(kPartWorthExtension) == std::string::npos) return std::string();
    return partWorthPath.substr(0, NameStart(partWorthPath)) +
           ReplaceAll(name, kPartWorthExtension, std::string(kTiedSuffix) + kPartWorthExtension);
}

std::string TiedSpreadsheetPath(const std::string& tiedPath) {
    const size_t nameStart = NameStart(tiedPath);
    return tiedPath.substr(0, nameStart) +
           ReplaceAll(tiedPath.substr(nameStart), kPartWorthExtension, kSpreadsheetExtension);
}

std::string TieDrawsCompanionPath(const std::string& partWorthPath, const std::string& extension) {
    // ".hbu" in any case: a chosen "Study.HBU" keeps its name, and its companions are "Study.dra" and
    // "Study.con", not "Study.HBU.dra".
    const std::string hbu = kPartWorthExtension;
    std::string companion;
    size_t i = 0;
    while (i < partWorthPath.size()) {
        if (EndsWithNoCase(partWorthPath.substr(i, hbu.size()), hbu) &&
            i + hbu.size() <= partWorthPath.size()) {
            i += hbu.size();
        } else {
            companion += partWorthPath[i++];
        }
    }
    return companion + extension;
}

std::string TieDrawsDrawsPath(const std::string& partWorthPath) {
    return TieDrawsCompanionPath(partWorthPath, kDrawsExtension);
}

std::string TieDrawsConstraintsPath(const std::string& partWorthPath) {
    return TieDrawsCompanionPath(partWorthPath, kConstraintsExtension);
}

}  // namespace ombrel
