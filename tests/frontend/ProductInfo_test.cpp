#include "frontend/ProductInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::TempDir;
using test::WriteFileText;

TEST(ProductVersion, ComesInFourPartsAndShortensAtTheLastDot) {
    const std::string version = ProductVersion();
    EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 3) << version;
    EXPECT_EQ(ShortVersion(), ShortVersion(version));

    EXPECT_EQ(ShortVersion("3.2.1.0"), "3.2.1");
    EXPECT_EQ(SplashVersion(ShortVersion("3.2.1.0")), "3.2");
    EXPECT_EQ(ShortVersion("10.20.30.40"), "10.20.30");
    EXPECT_EQ(SplashVersion("10.20.30"), "10.20");
    // Nothing to cut: the text stays whole.
    EXPECT_EQ(ShortVersion("7"), "7");
    EXPECT_EQ(SplashVersion(""), "");

    EXPECT_EQ(FourPartVersion("3.2.1.0"), "3.2.1.0");
    EXPECT_EQ(FourPartVersion("1.2"), "1.2.0.0");
    EXPECT_EQ(FourPartVersion("1..3"), "1.0.3.0");
    EXPECT_EQ(FourPartVersion("3.2.1.0.9"), "3.2.1.0");
    EXPECT_EQ(FourPartVersion(""), "0.0.0.0");
}

TEST(ProductAddresses, AreExactAndEncodeTheirQueries) {
    EXPECT_EQ(VersionCheckUrl(ShortVersion("3.2.1.0")),
              "https://www.feldrin.example/version/version.pl?pro=ombrel&ver=3.2.1");
    EXPECT_EQ(std::string(kHomePageUrl), "https://www.feldrin.example/");
    EXPECT_EQ(std::string(kProgrammersPageUrl), std::string(kHomePageUrl) + "programmers/");
    EXPECT_EQ(std::string(kSupportMailUrl),
              "mailto:support@feldrin.example?subject=" + UrlEncode("Ombrel Support"));
    EXPECT_EQ(std::string(kSupportMailUrl), "mailto:support@feldrin.example?subject=Ombrel%20Support");

    EXPECT_EQ(UrlEncode("Ombrel Support"), "Ombrel%20Support");
    EXPECT_EQ(UrlEncode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(UrlEncode("a&b=c/d?e+f%"), "a%26b%3Dc%2Fd%3Fe%2Bf%25");
    EXPECT_EQ(UrlEncode("\xC3\xA9\x01"), "%C3%A9%01");
    EXPECT_EQ(UrlEncode(""), "");
    // A version text that is not plain digits cannot break the query.
    EXPECT_EQ(VersionCheckUrl("1.0 beta&x"),
              "https://www.feldrin.example/version/version.pl?pro=ombrel&ver=1.0%20beta%26x");
}

TEST(ProductTexts, AreTheProductsOwn) {
    EXPECT_EQ(
        std::string(kManualFailureMessage),
        "Ombrel could not launch Adobe Acrobat\xC2\xAE Reader\xC2\xAE.  This program is required for viewing "
        "the "
        "electronic documentation in .PDF format.  If you need further assistance, please contact Feldrin "
        "Software.");
    EXPECT_EQ(AboutTitle("3.2.1"), "About Feldrin Software Ombrel Version 3.2.1");
    EXPECT_EQ(AboutText("3.2.1"), "Feldrin Software Ombrel Version 3.2.1");
    EXPECT_EQ(std::string(kAboutMenuText), "&About Ombrel...");
}

TEST(FindProductManual, ProgramFolderFirstThenTheDocumentationFolder) {
    TempDir dir;
    const std::filesystem::path program = dir.Path() / "bin";
    const std::filesystem::path docs = dir.Path() / "doc";
    std::filesystem::create_directories(program);
    std::filesystem::create_directories(docs);

    EXPECT_EQ(FindProductManual(program.string() + "/", docs.string()), std::nullopt);

    // A folder of that name is not a manual.
    std::filesystem::create_directories(program / "ombrel.pdf");
    EXPECT_EQ(FindProductManual(program.string() + "/", docs.string()), std::nullopt);
    std::filesystem::remove(program / "ombrel.pdf");

    WriteFileText((docs / "ombrel.pdf").string(), "%PDF");
    EXPECT_EQ(FindProductManual(program.string() + "/", docs.string()), (docs / "ombrel.pdf").string());

    WriteFileText((program / "ombrel.pdf").string(), "%PDF");
    EXPECT_EQ(FindProductManual(program.string() + "/", docs.string()), program.string() + "/ombrel.pdf");
    EXPECT_EQ(FindProductManual(program.string(), docs.string()), program.string() + "/ombrel.pdf");

    // An empty folder is not looked in (not even as the current directory).
    EXPECT_EQ(FindProductManual("", docs.string() + "/"), docs.string() + "/ombrel.pdf");
    EXPECT_EQ(FindProductManual("", ""), std::nullopt);

    EXPECT_FALSE(InstalledDocFolder().empty());
    EXPECT_EQ(InstalledDocFolder().front(), '/');
}

}  // namespace
}  // namespace ombrel
