#pragma once

#include <optional>
#include <string>

namespace ombrel {

// What the front end says about itself: the product version from the build, its short forms, the
// maker's addresses, and where the manual is looked for.

inline constexpr const char* kProductName = "Ombrel";
inline constexpr const char* kManualFileName = "ombrel.pdf";
inline constexpr const char* kManualFailureMessage =
    "Ombrel could not launch Adobe Acrobat\xC2\xAE Reader\xC2\xAE.  This program is required for viewing the "
    "electronic documentation in .PDF format.  If you need further assistance, please contact Feldrin "
    "Software.";
inline constexpr const char* kAboutMenuText = "&About Ombrel...";

inline constexpr const char* kHomePageUrl = "https://www.feldrin.example/";
inline constexpr const char* kProgrammersPageUrl = "https://www.feldrin.example/programmers/";
inline constexpr const char* kSupportMailUrl = "mailto:support@feldrin.example?subject=Ombrel%20Support";

// A version in the four-part form of a version resource: missing parts are "0" ("1.2" ->
// "1.2.0.0"), parts beyond the fourth are dropped; an empty text reads "0.0.0.0".
std::string FourPartVersion(const std::string& version);
// The version of this build in four parts, e.g. "3.2.1.0".
std::string ProductVersion();
// Everything from the last "." on removed: "3.2.1.0" -> "3.2.1"; a text without "." is kept whole.
std::string ShortVersion(const std::string& productVersion);
// ShortVersion(ProductVersion()), as the About box and the version check use it.
std::string ShortVersion();
// The splash window's version, the short version cut once more: "3.2.1" -> "3.2".
std::string SplashVersion(const std::string& shortVersion);

// Percent-encoding of a URL component: letters, digits and "-._~" stay, every other byte becomes
// "%XX" (upper-case hex), a blank "%20".
std::string UrlEncode(const std::string& text);
// The version-check page, with pro (the product name lower-cased, encoded) before ver.
std::string VersionCheckUrl(const std::string& shortVersion);

// "About Feldrin Software Ombrel Version " and the short version.
std::string AboutTitle(const std::string& shortVersion);
// The About box's line naming the product and its version.
std::string AboutText(const std::string& shortVersion);

// The documentation folder of an installed copy (the build's configured prefix).
std::string InstalledDocFolder();
// The manual: "ombrel.pdf" in the program folder, else in the documentation folder; the first that
// exists as a regular file, or nothing. Either folder may lack its trailing "/" or be empty (not
// looked in).
std::optional<std::string> FindProductManual(const std::string& programFolder, const std::string& docFolder);

}  // namespace ombrel
