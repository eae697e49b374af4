#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/OmbrelError.h"
#include "prepare/DesignCoder.h"
#include "prepare/EffectsFile.h"
#include "prepare/ValuesFile.h"
#include "tests/prepare/PrepareTestSupport.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::FailureMessage;

class ValuesFileTest : public ::testing::Test {
protected:
    ValuesFileResult Read(const std::vector<int32_t>& levelCounts) {
        return ReadValuesFile(test::StudyOf(study_), levelCounts, values_, texts_);
    }
    void Write(const std::string& text) { test::WriteFileText(study_ + ".val", text); }

    test::TempDir dir_;
    std::string study_ = dir_.File("study");
    LevelValues values_;
    std::vector<std::string> texts_;
};

TEST_F(ValuesFileTest, NoFileGivesZerosAndEmptyTexts) {
    ValuesFileResult result = Read({3, 2});
    EXPECT_FALSE(result.fileExists);
    EXPECT_FALSE(result.zeroCentred);
    EXPECT_EQ(values_, (LevelValues{{0.0, 0.0, 0.0}, {0.0, 0.0}}));
    EXPECT_EQ(texts_, (std::vector<std::string>{"", ""}));
}

TEST_F(ValuesFileTest, ZeroCentresEachAttributeAndReportsIt) {
    Write("  Price in dollars \r\n1 2 3\r\nWeight\n-1 0\n1\n");
    ValuesFileResult result = Read({3, 3});
    EXPECT_TRUE(result.fileExists);
    EXPECT_TRUE(result.zeroCentred);
    EXPECT_EQ(values_, (LevelValues{{-1.0, 0.0, 1.0}, {-1.0, 0.0, 1.0}}));
    EXPECT_EQ(texts_, (std::vector<std::string>{"Price in dollars", "Weight"}));
}

TEST_F(ValuesFileTest, CentredValuesAreNotReported) {
    Write("A\n-1 0 1\nB\n0.5 -0.5\n");
    EXPECT_FALSE(Read({3, 2}).zeroCentred);
    EXPECT_EQ(values_, (LevelValues{{-1.0, 0.0, 1.0}, {0.5, -0.5}}));
}

TEST_F(ValuesFileTest, BlankLinesBetweenBlocksAndShortBlocks) {
    // The second block lacks a number; the third attribute has no block at all.
    Write("\nA\n2 4\n\n\nB\n6\nC-less");
    ValuesFileResult result = Read({2, 2, 1});
    EXPECT_TRUE(result.zeroCentred);
    EXPECT_EQ(values_[0], (std::vector<double>{-1.0, 1.0}));
    EXPECT_EQ(values_[1], (std::vector<double>{3.0, -3.0}));
    EXPECT_EQ(texts_[2], "C-less");
    EXPECT_EQ(values_[2], (std::vector<double>{0.0}));
}

TEST_F(ValuesFileTest, MissingLabelLineKeepsTheTextReadBefore) {
    Write("Price\n1 2\n");
    Read({2, 3, 1});
    EXPECT_EQ(texts_, (std::vector<std::string>{"Price", "Price", "Price"}));
    EXPECT_EQ(values_[1], (std::vector<double>{0.0, 0.0, 0.0}));
    Write("");
    Read({2});
    EXPECT_EQ(texts_, (std::vector<std::string>{""}));
}

TEST_F(ValuesFileTest, TextAmongNumbersEndsThatAttribute) {
    Write("A\n1 x 3\nB\n5 7\n");
    Read({3, 2});
    const double mean = 1.0 / 3.0;  // 1, then 0 for the x and the 3 behind it
    EXPECT_EQ(values_[0], (std::vector<double>{1.0 - mean, 0.0 - mean, 0.0 - mean}));
    EXPECT_EQ(texts_[1], "B");
    EXPECT_EQ(values_[1], (std::vector<double>{-1.0, 1.0}));
}

TEST_F(ValuesFileTest, LongLabelIsCutAt259Characters) {
    Write(std::string(300, 'x') + "\n1\n");
    Read({1});
    EXPECT_EQ(texts_[0], std::string(259, 'x'));
}

TEST_F(ValuesFileTest, ValueThatIsNotFiniteIsRefused) {
    Write("A\n1 inf\n");
    EXPECT_EQ(
        FailureMessage([&] { Read({2}); }),
        "The values file " + study_ + ".val holds a value for attribute 1 that is not a finite number.");
    Write("A\n1e308 1e308\n");
    EXPECT_NE(FailureMessage([&] { Read({2}); }), "(no failure)");
}

class EffectsFileTest : public ::testing::Test {
protected:
    void Read(int attributeCount, ValuesFileResult values = {}) {
        ReadEffectsFile(test::StudyOf(study_), attributeCount, values, report_, effects_, dropNone_);
    }
    void Write(const std::string& text) { test::WriteFileText(study_ + ".eff", text); }
    std::vector<int32_t> Diagonal() const {
        std::vector<int32_t> codes;
        for (int i = 0; i < effects_.AttributeCount(); ++i) codes.push_back(effects_.Diagonal(i));
        return codes;
    }

    test::TempDir dir_;
    std::string study_ = dir_.File("study");
    std::string report_ = "R";
    EffectsMatrix effects_;
    bool dropNone_ = true;
};

TEST_F(EffectsFileTest, NoFileEstimatesEveryMainEffectAndTheNone) {
    Read(3);
    EXPECT_EQ(report_, "R\n\nEstimation will include main effects and no interactions.");
    EXPECT_EQ(Diagonal(), (std::vector<int32_t>{1, 1, 1}));
    EXPECT_FALSE(effects_.HasInteraction(0, 1));
    EXPECT_FALSE(dropNone_);
}

TEST_F(EffectsFileTest, TokenZeroKeepsTheNone) {
    Write("1, 2, 3, 0\n");
    Read(3);
    EXPECT_EQ(report_, "R\n\nParameters to be estimated are described in the <studyname>.eff file.");
    EXPECT_EQ(Diagonal(), (std::vector<int32_t>{1, 1, 1}));
    EXPECT_FALSE(dropNone_);

    Write("1 2 3");
    Read(3);
    EXPECT_TRUE(dropNone_);
    Write("2\tnone\r\n");
    Read(3);
    EXPECT_FALSE(dropNone_);
    EXPECT_EQ(Diagonal(), (std::vector<int32_t>{0, 1, 0}));
}

TEST_F(EffectsFileTest, LinearAttributesAndOverrides) {
    Write("1 -2 #3 3 #3 -1\n");
    Read(3, {true, false});
    EXPECT_EQ(Diagonal(),
              (std::vector<int32_t>{kLinearWithValues, kLinearWithValues, kLinearWithDataValues}));
    EXPECT_EQ(report_, "R\n\nParameters to be estimated are described in the <studyname>.eff file.");
}

TEST_F(EffectsFileTest, ZeroCentringNoteFollowsALinearAttribute) {
    Write("1 -2\n");
    Read(2, {true, true});
    EXPECT_EQ(report_,
              "R\n\nParameters to be estimated are described in the <studyname>.eff file."
              "\nValues for attribute levels have been zero-centered.");
    // Data-valued attributes need no values file and get no note.
    report_ = "R";
    Write("1 #2\n");
    Read(2, {true, true});
    EXPECT_EQ(report_, "R\n\nParameters to be estimated are described in the <studyname>.eff file.");
}

TEST_F(EffectsFileTest, Interactions) {
    Write("1 2 -3\n1 2\n3\t1\n\n");
    Read(3, {true, false});
    EXPECT_TRUE(effects_.HasInteraction(0, 1));
    EXPECT_TRUE(effects_.HasInteraction(1, 0));
    EXPECT_TRUE(effects_.HasInteraction(0, 2));
    EXPECT_FALSE(effects_.HasInteraction(1, 2));
    EXPECT_EQ(Diagonal(), (std::vector<int32_t>{1, 1, -1}));
}

TEST_F(EffectsFileTest, Messages) {
    const std::string outOfRange = "An attribute specified in the <studyname.eff> file was out of range.";
    struct Case {
        const char* file;
        std::string message;
        ValuesFileResult values;
    };
    const std::vector<Case> cases = {
        {"", "The <studyname>.eff file specifies no effects.", {}},
        {" ,, \t\n1 2\n", "The <studyname>.eff file specifies no main effects.", {}},
        {"1 4\n", outOfRange, {}},
        {"1 -4\n", outOfRange, {true, false}},
        {"#0\n", outOfRange, {}},
        {"#4\n", outOfRange, {}},
        {"# 1\n", outOfRange, {}},
        {"1 -2\n",
         "The <studyname>.eff file specifies a linear attribute, but no <studyname>.val file was found.",
         {}},
        {"1 2\n1\n", "The <studyname>.eff file specifies an invalid interaction effect.", {}},
        {"1 2\n1 x\n", "The <studyname>.eff file specifies an invalid interaction effect.", {}},
        {"1 2\n1 4\n", outOfRange, {}},
        {"1 2\n0 1\n", outOfRange, {}},
        {"1 2\n1 3\n",
         "An attribute specified in the <studyname.eff> file was specified in an interaction, but the main "
         "effect "
         "was not specified.",
         {}},
    };
    for (const Case& c : cases) {
        Write(c.file);
        EXPECT_EQ(FailureMessage([&] { Read(3, c.values); }), c.message) << c.file;
    }
    Write("1 -2\n2 2\n");
    EXPECT_EQ(FailureMessage([&] {
                  Read(3, {true, false});
              }),
              "The " + study_ + ".eff file specifies an interaction of the linear attribute 2 with itself.");
}

TEST_F(EffectsFileTest, PairOfOnePartWorthAttributeChangesNothing) {
    Write("1 2\n2 2\n1 2\n");
    Read(2);
    EXPECT_EQ(Diagonal(), (std::vector<int32_t>{1, 1}));
    EXPECT_TRUE(effects_.HasInteraction(0, 1));
}

TEST_F(EffectsFileTest, AtMostAThousandMainEffectTokens) {
    std::string line;
    for (int i = 0; i < 1000; ++i) line += "1 ";
    Write(line + "\n");
    Read(3);
    Write(line + "2\n");
    EXPECT_EQ(
        FailureMessage([&] { Read(3); }),
        "There is a maximum of 1000 attributes for this program.  Please correct the first line of your "
        "<studyname>.eff file.");
}

TEST_F(EffectsFileTest, LongFirstLineIsReadWhole) {
    // Past 4095 characters the line goes on; its tail must not be taken for interaction pairs.
    Write(std::string(5000, ' ') + "1 2\n");
    Read(2);
    EXPECT_EQ(Diagonal(), (std::vector<int32_t>{1, 1}));
    EXPECT_FALSE(effects_.HasInteraction(0, 1));
}

// Every prefix of valid files, cut anywhere, reads or fails with a message.
TEST(InputFilesCutAnywhere, ReadOrFailWithAMessage) {
    test::TempDir dir;
    const std::string study = dir.File("study");
    const std::string eff = "1, -2, #3 0\r\n1 2\n2\t3\n";
    const std::string val = "A\n1 2\n\nPrice\r\n1.5 -2e1 3\nW\n0\n";
    for (size_t length = 0; length <= std::max(eff.size(), val.size()); ++length) {
        test::WriteFileText(study + ".eff", eff.substr(0, length));
        test::WriteFileText(study + ".val", val.substr(0, length));
        LevelValues values;
        std::vector<std::string> texts;
        std::string report;
        EffectsMatrix effects;
        bool dropNone = false;
        try {
            ValuesFileResult result = ReadValuesFile(test::StudyOf(study), {2, 3, 1}, values, texts);
            ReadEffectsFile(test::StudyOf(study), 3, result, report, effects, dropNone);
        } catch (const OmbrelError&) {
        }
    }
}

std::vector<double> Code(const DesignCoder& coder, std::vector<double> x) {
    std::vector<double> row(static_cast<size_t>(std::min<int64_t>(coder.ColumnCount(), kMaxCodedColumns)),
                            99.0);
    coder.CodeConcept(x.data(), row.data());
    return row;
}

TEST(DesignCoder, EffectsAndDummyCodingOfAPartWorthAttribute) {
    const std::vector<int32_t> levels = {3};
    const LevelValues values = {{0, 0, 0}};
    const EffectsMatrix effects = EffectsMatrix::Identity(1);
    DesignCoder effectsCoded(effects, levels, values, true);
    DesignCoder dummyCoded(effects, levels, values, false);
    EXPECT_EQ(effectsCoded.ColumnCount(), 2);
    EXPECT_EQ(Code(effectsCoded, {1}), (std::vector<double>{1, 0}));
    EXPECT_EQ(Code(effectsCoded, {2}), (std::vector<double>{0, 1}));
    EXPECT_EQ(Code(effectsCoded, {3}), (std::vector<double>{-1, -1}));
    EXPECT_EQ(Code(dummyCoded, {1}), (std::vector<double>{1, 0}));
    EXPECT_EQ(Code(dummyCoded, {2}), (std::vector<double>{0, 1}));
    EXPECT_EQ(Code(dummyCoded, {3}), (std::vector<double>{0, 0}));
    // Codes round to the nearest level; no level or one beyond the last codes as zeros.
    EXPECT_EQ(Code(effectsCoded, {2.4}), (std::vector<double>{0, 1}));
    EXPECT_EQ(Code(effectsCoded, {2.5}), (std::vector<double>{-1, -1}));
    EXPECT_EQ(Code(effectsCoded, {0}), (std::vector<double>{0, 0}));
    EXPECT_EQ(Code(effectsCoded, {4}), (std::vector<double>{0, 0}));
    EXPECT_EQ(Code(effectsCoded, {-3}), (std::vector<double>{0, 0}));
    EXPECT_EQ(Code(effectsCoded, {std::nan("")}), (std::vector<double>{0, 0}));
    EXPECT_EQ(Code(effectsCoded, {1e300}), (std::vector<double>{0, 0}));
}

TEST(DesignCoder, LinearAttributes) {
    const std::vector<int32_t> levels = {3, 2, 1};
    const LevelValues values = {{-1, 0, 1}, {0, 0}, {0}};
    EffectsMatrix effects(3);
    effects.Set(0, 0, kLinearWithValues);
    effects.Set(1, 1, kLinearWithDataValues);
    effects.Set(2, 2, kPartWorth);  // one level: no columns
    DesignCoder coder(effects, levels, values, true);
    EXPECT_EQ(coder.ColumnCount(), 2);
    EXPECT_EQ(Code(coder, {1, 2.25, 1}), (std::vector<double>{-1, 2.25}));
    EXPECT_EQ(Code(coder, {3, -7, 1}), (std::vector<double>{1, -7}));
    EXPECT_EQ(Code(coder, {0, 0, 1}), (std::vector<double>{0, 0}));
    // -1 + 0.5 truncates to level 0.
    EXPECT_EQ(Code(coder, {-1, 0, 1}), (std::vector<double>{0, 0}));
    const std::string outOfRange = "A level code in the data file for a linear attribute was out of range.";
    EXPECT_EQ(FailureMessage([&] { Code(coder, {4, 0, 0}); }), outOfRange);
    EXPECT_EQ(FailureMessage([&] { Code(coder, {-2, 0, 0}); }), outOfRange);
    EXPECT_EQ(FailureMessage([&] { Code(coder, {std::nan(""), 0, 0}); }), outOfRange);
}

TEST(DesignCoder, InteractionColumnsFollowTheMainEffects) {
    const std::vector<int32_t> levels = {4, 3, 4};
    const LevelValues values = {{0, 0, 0, 0}, {-1, 0, 1}, {0, 0, 0, 0}};
    EffectsMatrix effects = EffectsMatrix::Identity(3);
    effects.Set(1, 1, kLinearWithValues);
    effects.SetInteraction(0, 1);
    effects.SetInteraction(0, 2);
    DesignCoder coder(effects, levels, values, true);
    // Main effects 3 + 1 + 3, then 4 levels x linear: 3, then 4 x 4 levels: 9.
    EXPECT_EQ(coder.ColumnCount(), 19);
    const std::vector<double> row = Code(coder, {4, 3, 2});
    const std::vector<double> expected = {-1,   -1, -1,   1,    0,  1,    0,    -1, -1,  -1,
                                          -0.0, -1, -0.0, -0.0, -1, -0.0, -0.0, -1, -0.0};
    EXPECT_EQ(row, expected);
}

TEST(DesignCoder, AtMost999Columns) {
    const std::vector<int32_t> levels = {1000, 2};
    const LevelValues values = {std::vector<double>(1000, 0.0), {0, 0}};
    EffectsMatrix justFits(2);
    justFits.Set(0, 0, kPartWorth);
    DesignCoder fits(justFits, levels, values, true);
    EXPECT_EQ(fits.ColumnCount(), 999);
    std::vector<double> x = {1000, 1};
    EXPECT_EQ(Code(fits, x), std::vector<double>(999, -1.0));

    EffectsMatrix oneTooMany = EffectsMatrix::Identity(2);
    DesignCoder tooMany(oneTooMany, levels, values, true);
    EXPECT_EQ(tooMany.ColumnCount(), 1000);
    EXPECT_EQ(FailureMessage([&] { Code(tooMany, x); }), "The maximum number of variables allowed is 1000.");
}

// The values reader over text in memory; "mem.val" stands for the file in messages.
TEST(ValuesFileFromMemory, ReadsGoodTextAndNamesWhatIsBroken) {
    struct Case {
        std::string text;
        LevelValues values;  // when message is empty
        std::vector<std::string> texts;
        std::string message;
    };
    const std::vector<Case> cases = {
        {" Price \r\n1 3\n\nWeight\n-1\n1 trailing\n", {{-1.0, 1.0}, {-1.0, 1.0}}, {"Price", "Weight"}, ""},
        {"Price\n2 4\n", {{-1.0, 1.0}, {0.0, 0.0}}, {"Price", "Price"}, ""},
        {"A\n1 nan\n",
         {},
         {},
         "The values file mem.val holds a value for attribute 1 that is not a finite number."},
        {"A\n1 2\nB\n-inf 0\n",
         {},
         {},
         "The values file mem.val holds a value for attribute 2 that is not a finite number."},
    };
    for (const Case& c : cases) {
        MemoryTextSource source(c.text);
        LevelValues values;
        std::vector<std::string> texts;
        ValuesFileResult result;
        const std::string message = FailureMessage([&] {
            result = ReadValuesFile(source, "mem.val", {2, 2}, values, texts);
        });
        if (!c.message.empty()) {
            EXPECT_EQ(message, c.message) << c.text;
            continue;
        }
        EXPECT_EQ(message, "(no failure)") << c.text;
        EXPECT_TRUE(result.fileExists);
        EXPECT_TRUE(result.zeroCentred);
        EXPECT_EQ(values, c.values) << c.text;
        EXPECT_EQ(texts, c.texts) << c.text;
    }
    // The third value is looked for past the text, where the read error shows.
    test::FailingTextSource failing("A\n1 2\n");
    LevelValues values;
    std::vector<std::string> texts;
    EXPECT_EQ(FailureMessage([&] { ReadValuesFile(failing, "mem.val", {3}, values, texts); }),
              "The file mem.val could not be read.");
}

// The effects reader over text in memory, for three attributes; "mem.eff" stands for the file.
TEST(EffectsFileFromMemory, ReadsGoodTextAndNamesWhatIsBroken) {
    const std::string described = "\n\nParameters to be estimated are described in the <studyname>.eff file.";
    MemoryTextSource good("1, -2\t#3 0\r\n1 2\n\n2\t3\n");
    std::string report;
    EffectsMatrix effects;
    bool dropNone = true;
    ReadEffectsFile(good, "mem.eff", 3, {true, true}, report, effects, dropNone);
    EXPECT_EQ(report, described + "\nValues for attribute levels have been zero-centered.");
    EXPECT_EQ(effects.Diagonal(0), kPartWorth);
    EXPECT_EQ(effects.Diagonal(1), kLinearWithValues);
    EXPECT_EQ(effects.Diagonal(2), kLinearWithDataValues);
    EXPECT_TRUE(effects.HasInteraction(0, 1));
    EXPECT_TRUE(effects.HasInteraction(1, 2));
    EXPECT_FALSE(effects.HasInteraction(0, 2));
    EXPECT_FALSE(dropNone);

    const std::vector<std::pair<std::string, std::string>> broken = {
        {"", "The <studyname>.eff file specifies no effects."},
        {",\n1 2\n", "The <studyname>.eff file specifies no main effects."},
        {"1 5\n", "An attribute specified in the <studyname.eff> file was out of range."},
        {"1 2\n2\n", "The <studyname>.eff file specifies an invalid interaction effect."},
        {"1 -2\n2 2\n", "The mem.eff file specifies an interaction of the linear attribute 2 with itself."},
    };
    for (const auto& [text, message] : broken) {
        MemoryTextSource source(text);
        report.clear();
        EXPECT_EQ(FailureMessage([&] {
                      ReadEffectsFile(source, "mem.eff", 3, {true, false}, report, effects, dropNone);
                  }),
                  message)
            << text;
    }
    // A read error, at the first line or among the pairs, is no end of the text.
    for (const char* text : {"", "1 2\n1 2\n"}) {
        test::FailingTextSource source(text);
        EXPECT_EQ(
            FailureMessage([&] { ReadEffectsFile(source, "mem.eff", 3, {}, report, effects, dropNone); }),
            "The file mem.eff could not be read.")
            << text;
    }
}

}  // namespace
}  // namespace ombrel
