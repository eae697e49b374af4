#include "frontend/ProductInfo.h"

#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/TextConversion.h"

#ifndef OMBREL_PRODUCT_VERSION
#error "OMBREL_PRODUCT_VERSION must come from the build"
#endif
#ifndef OMBREL_DOC_FOLDER
#error "OMBREL_DOC_FOLDER must come from the build"
#endif

namespace ombrel {

namespace {

std::string CutAtLastDot(const std::string& text) {
    const std::size_t dot = text.rfind('.');
    return dot == std::string::npos ? text : text.substr(0, dot);
}

std::string LowerCased(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string FourPartVersion(const std::string& version) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (parts.size() < 4) {
        const std::size_t dot = version.find('.', start);
        std::string part = version.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        parts.push_back(part.empty() ? "0" : part);
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    while (parts.size() < 4) parts.push_back("0");
    return parts[0] + "." + parts[1] + "." + parts[2] + "." + parts[3];
}

std::string ProductVersion() { return FourPartVersion(OMBREL_PRODUCT_VERSION); }

std::string ShortVersion(const std::string& productVersion) { return CutAtLastDot(productVersion); }

std::string ShortVersion() { return ShortVersion(ProductVersion()); }

std::string SplashVersion(const std::string& shortVersion) { return CutAtLastDot(shortVersion); }

std::string UrlEncode(const std::string& text) {
    std::string encoded;
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += c;
        } else {
            encoded += Format("%%%02X", byte);
        }
    }
    return encoded;
}

std::string VersionCheckUrl(const std::string& shortVersion) {
    return "https://www.feldrin.example/version/version.pl?pro=" + UrlEncode(LowerCased(kProductName)) +
           "&ver=" + UrlEncode(shortVersion);
}

std::string AboutTitle(const std::string& shortVersion) {
    return "About Feldrin Software Ombrel Version " + shortVersion;
}

std::string AboutText(const std::string& shortVersion) {
    return "Feldrin Software Ombrel Version " + shortVersion;
}

std::string InstalledDocFolder() { return OMBREL_DOC_FOLDER; }

std::optional<std::string> FindProductManual(const std::string& programFolder, const std::string& docFolder) {
    for (const std::string& folder : {programFolder, docFolder}) {
        if (folder.empty()) continue;
        const std::string path =
            folder.back() == '/' ? folder + kManualFileName : folder + "/" + kManualFileName;
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) return path;
    }
    return std::nullopt;
}

}  // namespace ombrel
