#include "tools/PartWorthFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/estimator/files/FailingTextSource.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

// Attribute 1: not estimated, 4 levels; attribute 2: part-worth, 2 levels; attribute 3: linear; None.
const std::string kHeader =
    "3 1 4 1 1\r\n4 2 1 \r\n0 0 0 \r\n0 1 0 \r\n0 0 -1 \r\n2 1 Red, dark\r\n2 2  Blue\r\n3 1 "
    "Price\r\nNONE\r\n";

PartWorthHeader FromText(const std::string& text) {
    MemoryTextSource source(text);
    return ReadPartWorthHeader(source, "p.hbu");
}

std::string FailureOf(const std::string& text) {
    return test::FailureMessage([&] { FromText(text); });
}

TEST(PartWorthFile, ReadsTheHeaderFromMemory) {
    const PartWorthHeader header = FromText(kHeader + "    101     600  0 4 -1\r\n 0.1 0.2 0.3 0.4\r\n");
    // The lines are kept without their line ends; the respondent records are not read.
    EXPECT_EQ(header.lines, (std::vector<std::string>{"3 1 4 1 1", "4 2 1 ", "0 0 0 ", "0 1 0 ", "0 0 -1 ",
                                                      "2 1 Red, dark", "2 2  Blue", "3 1 Price", "NONE"}));
    // After the two numbers one blank goes; commas become blanks; a line without numbers is its label.
    EXPECT_EQ(header.labels, (std::vector<std::string>{"Red  dark", " Blue", "Price", "NONE"}));
    EXPECT_EQ(header.model.levels, (std::vector<int>{4, 2, 1}));
    EXPECT_EQ(header.model.diagonal, (std::vector<int>{0, 1, -1}));
    EXPECT_EQ(header.model.valueStart, (std::vector<int>{-1, 0, 2}));
    EXPECT_EQ(header.model.valueCount, 4);
    EXPECT_EQ(header.constraintModel.attributeCount, 3);
    EXPECT_EQ(header.constraintModel.levelsPerAttribute, (std::vector<int>{4, 2, 1}));
    EXPECT_EQ(header.constraintModel.attributeCodes,
              (std::vector<std::vector<int>>{{0, 0, 0}, {0, 1, 0}, {0, 0, -1}}));
}

TEST(PartWorthFile, RefusesBrokenHeadersWithTheirMessages) {
    const std::string incomplete = "The <studyname>.hbu file is incomplete.";
    const std::pair<std::string, std::string> cases[] = {
        {"", "The part-worth file p.hbu does not start with a header line of five numbers."},
        {"3 1 4 1\n", "The part-worth file p.hbu does not start with a header line of five numbers."},
        {"0 1 1 1 1\n", "The part-worth file p.hbu gives 0 attributes; it can have 1 to 1000."},
        {"1001 1 1 1 1\n", "The part-worth file p.hbu gives 1001 attributes; it can have 1 to 1000."},
        {"3 1 4 1 1\n4 2\n", incomplete},
        {"3 1 4 1 1\n4 2 1\n0 0 0\n0 1 x\n", incomplete},
        {"3 1 4 1 1\n4 2 1\n0 0 0\n0 1 0\n", incomplete},
        {"3 1 4 1 1\n4 2 1\n0 0 0\n0 1 1\n",
         "The <studyname>.hbu file includes interactions.  Tying draws only works with main effects."},
        {"3 1 4 1 1\n4 2 2\n0 0 0\n0 1 0\n0 0 -1\n",
         "The part-worth file p.hbu gives attribute 3 2 levels, which its model cannot have."},
        {"3 1 4 1 1\n4 0 1\n0 0 0\n0 1 0\n0 0 -1\n",
         "The part-worth file p.hbu gives attribute 2 0 levels, which its model cannot have."},
        {"3 0 4 1 1\n4 2 1\n0 0 0\n0 1 0\n0 0 -1\n",
         "The part-worth file p.hbu gives 4 values per respondent, but its attributes have 3."},
        {"3 1 4 1 1\n4 2 1\n0 0 0\n0 1 0\n0 0 -1\n2 1 Red\n",
         "The part-worth file p.hbu ends after 1 of its 4 label lines."},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(FailureOf(text), message) << text;
}

TEST(PartWorthFile, AFailedSourceReadsAsItsEnd) {
    test::FailingTextSource source(kHeader.substr(0, kHeader.find("3 1 Price")));
    EXPECT_EQ(test::FailureMessage([&] { ReadPartWorthHeader(source, "p.hbu"); }),
              "The part-worth file p.hbu ends after 2 of its 4 label lines.");
    EXPECT_TRUE(source.Failed());
}

}  // namespace
}  // namespace ombrel
