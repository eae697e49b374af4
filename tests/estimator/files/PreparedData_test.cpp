#include "estimator/files/PreparedData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "common/OmbrelError.h"
#include "tests/prepare/PreparedDataGolden.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

using test::Bytes;

std::vector<unsigned char> Concat(std::vector<unsigned char> a, const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Respondent `number` with one expanded task of R alternatives and V values per row.
std::vector<unsigned char> Block(int32_t number, int32_t alternatives, int32_t variables, double base = 0.0) {
    Bytes bytes;
    bytes.I32(number).I32(1).I32(alternatives).I32(variables);
    for (int32_t r = 0; r < alternatives; ++r) {
        for (int32_t k = 0; k < variables; ++k) bytes.F64(base + r * 10 + k);
        bytes.I32(r == 0 ? 1 : 0);
    }
    bytes.F64(0.5);
    return bytes.Get();
}

std::string ReadMessage(const std::vector<unsigned char>& bytes) {
    MemoryByteSource source(bytes);
    RespondentData respondent;
    try {
        ReadRespondentRecord(source, respondent);
    } catch (const OmbrelError& error) {
        return error.what();
    }
    return "(no failure)";
}

TEST(PreparedDataMessages, TextsAreExact) {
    EXPECT_STREQ(kPrematureEndMessage, "The end of the qebdat.tmp file was reached prematurely.");
    EXPECT_EQ(
        VariableCountMessage(12, 7, 8),
        "For respondent 12, the restart file has a different number of variables (7) than you have specified "
        "for this run (8).  You must either delete the <studyname>.res file, or change the <studyname>.eff "
        "file.");
}

TEST(ReadRespondentRecord, ReadsTheWritersBytesBack) {
    MemoryByteSource source(test::GoldenNoneDroppedRespondent());
    RespondentData respondent;
    ASSERT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::Read);
    EXPECT_EQ(respondent.RespondentNumber(), 17);
    ASSERT_EQ(respondent.Tasks().size(), 2u);

    const ExpandedTask& first = respondent.Tasks()[0];
    EXPECT_EQ(first.alternativeCount, 2);
    EXPECT_EQ(first.variableCount, 2);
    EXPECT_EQ(first.rows, (std::vector<double>{1.0, -1.0, 0.5, 2.0}));
    EXPECT_EQ(first.Row(1)[0], 0.5);
    EXPECT_EQ(first.chosen, (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(first.weight, test::GoldenFirstWeight());

    const ExpandedTask& none = respondent.Tasks()[1];
    EXPECT_EQ(none.chosen, (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(none.weight, 0.0);

    EXPECT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::EndOfData);
}

TEST(ReadRespondentRecord, EndsNormallyOnlyAtABlockBoundary) {
    const std::vector<unsigned char> two = Concat(Block(1, 2, 3), Block(2, 1, 0));
    MemoryByteSource whole(two);
    RespondentData respondent;
    EXPECT_EQ(ReadRespondentRecord(whole, respondent), RecordOutcome::Read);
    EXPECT_EQ(ReadRespondentRecord(whole, respondent), RecordOutcome::Read);
    EXPECT_EQ(respondent.RespondentNumber(), 2);
    EXPECT_EQ(respondent.Tasks()[0].variableCount, 0);
    EXPECT_EQ(ReadRespondentRecord(whole, respondent), RecordOutcome::EndOfData);

    // Every cut inside the second block, even inside its respondent number, is a premature end.
    const size_t boundary = Block(1, 2, 3).size();
    for (size_t cut = boundary + 1; cut < two.size(); ++cut) {
        MemoryByteSource source(
            std::vector<unsigned char>(two.begin(), two.begin() + static_cast<long>(cut)));
        ASSERT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::Read);
        EXPECT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::PrematureEnd) << "cut at " << cut;
    }
}

TEST(ReadRespondentRecord, CutsInsideARowArePrematureEnds) {
    const std::vector<unsigned char> block = Block(5, 3, 4);
    for (size_t cut = 1; cut < block.size(); ++cut) {
        MemoryByteSource source(
            std::vector<unsigned char>(block.begin(), block.begin() + static_cast<long>(cut)));
        RespondentData respondent;
        EXPECT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::PrematureEnd) << "cut at " << cut;
    }
}

TEST(ReadRespondentRecord, AnEmptyFileHasNoRespondents) {
    MemoryByteSource source({});
    RespondentData respondent;
    EXPECT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::EndOfData);
    EXPECT_TRUE(respondent.Tasks().empty());
}

TEST(ReadRespondentRecord, ARespondentWithoutTasksIsABlock) {
    MemoryByteSource source(Bytes().I32(9).I32(0).Get());
    RespondentData respondent;
    EXPECT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::Read);
    EXPECT_EQ(respondent.RespondentNumber(), 9);
    EXPECT_TRUE(respondent.Tasks().empty());
}

TEST(ReadRespondentRecord, CountsOutsideTheCapacitiesAreRejected) {
    EXPECT_EQ(ReadMessage(Block(31, 1001, 1)),
              "The qebdat.tmp file is damaged: respondent 31 has an expanded task with 1001 alternatives (1 "
              "to 1000 "
              "are possible).");
    EXPECT_EQ(ReadMessage(Block(32, 1, 1001)),
              "The qebdat.tmp file is damaged: respondent 32 has an expanded task with 1001 values per row "
              "(0 to 1000 "
              "are possible).");
    EXPECT_EQ(ReadMessage(Bytes().I32(33).I32(-1).Get()),
              "The qebdat.tmp file is damaged: respondent 33 has a negative expanded-task count (-1).");
    EXPECT_NE(ReadMessage(Bytes().I32(34).I32(1).I32(0).I32(1).Get()).find("respondent 34"),
              std::string::npos);
    EXPECT_NE(ReadMessage(Bytes().I32(35).I32(1).I32(1).I32(-1).Get()).find("respondent 35"),
              std::string::npos);
    EXPECT_NE(ReadMessage(Bytes().I32(36).I32(1).I32(INT32_MAX).I32(INT32_MAX).Get()).find("respondent 36"),
              std::string::npos);
    // The largest block the capacities allow reads (and is then cut short).
    EXPECT_EQ(ReadMessage(Bytes().I32(37).I32(1).I32(1000).I32(1000).Get()), "(no failure)");
}

TEST(ReadRespondentRecord, AHugeTaskCountInAShortFileIsAPrematureEnd) {
    MemoryByteSource source(Bytes().I32(1).I32(INT32_MAX).I32(1).I32(0).I32(1).F64(1.0).Get());
    RespondentData respondent;
    EXPECT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::PrematureEnd);
}

TEST(ReadRespondentRecord, ValuesThatAreNotNumbersAreRejected) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(
        ReadMessage(Bytes().I32(40).I32(1).I32(1).I32(2).F64(1.0).F64(inf).I32(1).F64(1.0).Get()),
        "The qebdat.tmp file is damaged: respondent 40 has a design value that is not a finite number.");
    EXPECT_EQ(ReadMessage(Bytes().I32(41).I32(1).I32(1).I32(1).F64(1.0).I32(1).F64(nan).Get()),
              "The qebdat.tmp file is damaged: respondent 41 has a weight that is not a finite number.");
}

TEST(ReadRespondentRecord, ReusesItsStorageFromBlockToBlock) {
    const std::vector<unsigned char> bytes =
        Concat(Concat(Block(1, 5, 6, 100.0), Block(2, 2, 3, 200.0)), Block(3, 4, 6, 300.0));
    MemoryByteSource source(bytes);
    RespondentData respondent;
    ASSERT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::Read);
    const double* rows = respondent.Tasks()[0].rows.data();
    const int32_t* flags = respondent.Tasks()[0].chosen.data();

    ASSERT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::Read);
    EXPECT_EQ(respondent.Tasks()[0].rows, (std::vector<double>{200, 201, 202, 210, 211, 212}));
    ASSERT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::Read);
    EXPECT_EQ(respondent.Tasks()[0].Row(3)[5], 335.0);
    EXPECT_EQ(respondent.Tasks()[0].chosen, (std::vector<int32_t>{1, 0, 0, 0}));
    // Smaller and then again larger blocks fit the storage the first one grew.
    EXPECT_EQ(respondent.Tasks()[0].rows.data(), rows);
    EXPECT_EQ(respondent.Tasks()[0].chosen.data(), flags);
}

TEST(RequireVariableCount, ThrowsTheVariableCountMessage) {
    MemoryByteSource source(Concat(Block(8, 2, 3), Block(9, 2, 4)));
    RespondentData respondent;
    ASSERT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::Read);
    EXPECT_NO_THROW(RequireVariableCount(respondent, 3));
    ASSERT_EQ(ReadRespondentRecord(source, respondent), RecordOutcome::Read);
    try {
        RequireVariableCount(respondent, 3);
        ADD_FAILURE() << "no failure";
    } catch (const OmbrelError& error) {
        EXPECT_EQ(std::string(error.what()), VariableCountMessage(9, 3, 4));
    }
}

}  // namespace
}  // namespace ombrel

namespace ombrel {
namespace {

// The check works on the bits: the extremes of the finite numbers pass, any infinity or NaN, of
// either sign, anywhere in the row, fails.
TEST(CheckRowValues, FindsEveryInfinityAndNaNAndNothingElse) {
    const double finite[] = {std::numeric_limits<double>::max(),
                             -std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::denorm_min(),
                             -0.0,
                             0.0,
                             1.0,
                             -1e308};
    EXPECT_NO_THROW(CheckRowValues(3, finite, std::size(finite)));
    for (double bad : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()}) {
        for (size_t at : {size_t{0}, size_t{6}}) {
            double row[std::size(finite)];
            std::copy(std::begin(finite), std::end(finite), row);
            row[at] = bad;
            EXPECT_EQ(test::FailureMessage([&] { CheckRowValues(3, row, std::size(row)); }),
                      "The qebdat.tmp file is damaged: respondent 3 has a design value that is not a finite "
                      "number.")
                << bad << " at " << at;
        }
    }
}

}  // namespace
}  // namespace ombrel
