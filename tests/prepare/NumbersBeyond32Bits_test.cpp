// Integers of the study's input files that do not fit 32 bits: in every position that holds one, in
// the data file, the effects, qualifiers and task subset files, 2^31, 2^32 + 1 (which a wrapping read
// takes for 1) and a number of twenty digits end the preparation with a message naming the file and
// the number. The ends of the 32-bit range still read as before.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "prepare/Cho2ChsConverter.h"
#include "prepare/StudyPreparation.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::FailureMessage;

const std::vector<std::string> kBeyond = {"2147483648", "4294967297", "-18446744073709551617"};

std::string TooLarge(const std::string& number, const std::string& file) {
    return "The number " + number + " in " + file +
           " does not fit a 32-bit integer (-2147483648 to 2147483647).";
}

// The positions of the white-space separated tokens of text, as (start, length).
std::vector<std::pair<size_t, size_t>> Tokens(const std::string& text) {
    std::vector<std::pair<size_t, size_t>> tokens;
    size_t at = 0;
    while (at < text.size()) {
        at = text.find_first_not_of(" \t\r\n,", at);
        if (at == std::string::npos) break;
        const size_t end = std::min(text.find_first_of(" \t\r\n,", at), text.size());
        tokens.emplace_back(at, end - at);
        at = end;
    }
    return tokens;
}

class NumbersBeyond32Bits : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteFileText(dir_.File("s.att"),
                            "Brand A\n\nBrand B\n\nBrand C\n\n\n$1\n\n$2\n\n$3\n\n\nLight\n\nHeavy\n");
        test::WriteFileText(dir_.File("s.val"),
                            "Brand\n0 0 0\nPrice in dollars\n1 2 3\nWeight kg\n0.5 1.5\n");
    }
    std::string Prepare(const std::string& dataFile) {
        StudySettings settings;
        settings.dataFileName = dir_.File(dataFile);
        StudyPreparation preparation(settings, [] { return std::tm{}; });
        return FailureMessage([&] { preparation.Prepare(); });
    }
    // For the token of text at every listed index: each number beyond 32 bits in its place is refused.
    void ExpectEachRefused(const std::string& file, const std::string& text, const std::string& dataFile,
                           const std::vector<size_t>& integerTokens) {
        const auto tokens = Tokens(text);
        for (size_t index : integerTokens) {
            ASSERT_LT(index, tokens.size());
            for (const std::string& number : kBeyond) {
                std::string edited = text;
                edited.replace(tokens[index].first, tokens[index].second, number);
                test::WriteFileText(dir_.File(file), edited);
                EXPECT_EQ(Prepare(dataFile), TooLarge(number, dir_.File(file))) << file << " token " << index;
            }
        }
        test::WriteFileText(dir_.File(file), text);
        EXPECT_EQ(Prepare(dataFile), "(no failure)") << file;
    }

    test::TempDir dir_;
};

// Respondent 1: one variable, three tasks of two concepts and None; respondent 2147483647 (the largest
// number there is) with the variable -2147483648 and one task. The design rows are decimals: level
// numbers of the part-worth attributes, then the third attribute's value.
const std::string kChoiceData =
    "1 1 3 3 1\n5\n"
    "2 1\n1 1 0.25\n2 3 1.5\n1 0\n"
    "2 1\n3 2 1\n1 1 1\n2 0\n"
    "2 1\n2 2 0.5\n3 3 2\n3 0\n"
    "2147483647 1 3 1 1\n-2147483648\n"
    "2 1\n1 1 1\n2 2 2\n1 0\n";
const std::string kEffects = "1, -2, #3, 0\n1 2\n";

std::vector<size_t> Range(size_t first, size_t last) {
    std::vector<size_t> indexes;
    for (size_t i = first; i <= last; ++i) indexes.push_back(i);
    return indexes;
}

std::vector<size_t> Join(std::vector<std::vector<size_t>> parts) {
    std::vector<size_t> joined;
    for (const auto& part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

TEST_F(NumbersBeyond32Bits, EveryIntegerOfAChoiceDataFile) {
    test::WriteFileText(dir_.File("s.eff"), kEffects);
    // Headers, variables, task headers, choices and response times; not the design rows.
    ExpectEachRefused("s.cho", kChoiceData, "s.cho",
                      Join({Range(0, 7), Range(14, 17), Range(24, 27), Range(34, 43), Range(50, 51)}));
}

TEST_F(NumbersBeyond32Bits, EveryIntegerOfAnAllocationDataFile) {
    test::WriteFileText(dir_.File("s.eff"), kEffects);
    const std::string data =
        "1 1 3 2 1\n5\n"
        "3\n1 1 0.25 2\n2 3 1.5 3\n0 0 0 0\n"
        "3\n3 2 1 1\n1 1 1 4\n0 0 0 0\n";
    // Header, variable, concept counts and the points of each concept.
    ExpectEachRefused("s.chs", data, "s.chs", Join({Range(0, 6), {10, 14, 18, 19, 23, 27, 31}}));
}

TEST_F(NumbersBeyond32Bits, EveryAttributeNumberOfTheEffectsFile) {
    test::WriteFileText(dir_.File("s.cho"), kChoiceData);
    ExpectEachRefused("s.eff", kEffects, "s.cho", {0, 1, 3, 4, 5});
    for (const std::string& number : kBeyond) {  // after the mark of a linear attribute with data values
        test::WriteFileText(dir_.File("s.eff"), "1, -2, #" + number + ", 0\n1 2\n");
        EXPECT_EQ(Prepare("s.cho"), TooLarge(number, dir_.File("s.eff")));
    }
    // The ends of the range are attribute numbers out of range, as they always were.
    for (const std::string text :
         {"1, 2147483647\n", "1, -2147483648\n", "#-2147483648\n", "1 2 3\n1 2147483647\n"}) {
        test::WriteFileText(dir_.File("s.eff"), text);
        EXPECT_EQ(Prepare("s.cho"), "An attribute specified in the <studyname.eff> file was out of range.")
            << text;
    }
}

TEST_F(NumbersBeyond32Bits, QualifiersAndTaskSubset) {
    test::WriteFileText(dir_.File("s.cho"), kChoiceData);
    test::WriteFileText(dir_.File("s.eff"), kEffects);
    ExpectEachRefused("s.qal", "1 > -2147483648\n", "s.cho", {0, 2});
    ExpectEachRefused("s.sub", "1 3\n", "s.cho", {0, 1});
}

// With a response file, every row's points come from it; the converted respondents before the refusal
// stay in the target, as after any other refusal.
TEST_F(NumbersBeyond32Bits, ThePointsOfTheConvertersResponseFile) {
    test::WriteFileText(dir_.File("s.cho"), kChoiceData);
    const std::string responses = "1 0 0\n0 1 0\n0 0 1\n2 0 0\n";
    const auto tokens = Tokens(responses);
    for (size_t index = 0; index < tokens.size(); ++index) {
        for (const std::string& number : kBeyond) {
            std::string edited = responses;
            edited.replace(tokens[index].first, tokens[index].second, number);
            test::WriteFileText(dir_.File("r.txt"), edited);
            EXPECT_EQ(FailureMessage([&] {
                          Cho2ChsConvert(dir_.File("s.cho"), dir_.File("s.chs"), dir_.File("r.txt"));
                      }),
                      TooLarge(number, dir_.File("r.txt")))
                << index;
            const std::string converted = test::ReadFileText(dir_.File("s.chs"));
            EXPECT_EQ(converted.rfind("1 1 3 3 1\n5 \n3\n", 0), 0u) << index;
            EXPECT_EQ(converted.find("2147483647 1 3 1 1\n") != std::string::npos, index >= 9) << index;
        }
    }
}

}  // namespace
}  // namespace ombrel
