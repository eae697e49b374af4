// Integers beyond 32 bits in the files Tie Draws reads: every integer of the part-worth file's header
// and of the saved draws' record headers is refused naming the file and the number, not taken for an
// incomplete file.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tools/DrawsFile.h"
#include "tools/PartWorthFile.h"

namespace ombrel {
namespace {

using test::FailureMessage;

const std::vector<std::string> kBeyond = {"2147483648", "4294967297", "-99999999999999999999"};

std::string TooLarge(const std::string& number, const std::string& file) {
    return "The number " + number + " in " + file +
           " does not fit a 32-bit integer (-2147483648 to 2147483647).";
}

std::string WithToken(const std::string& text, size_t index, const std::string& number) {
    size_t at = 0;
    for (size_t i = 0;; ++i) {
        at = text.find_first_not_of(" \r\n", at);
        EXPECT_NE(at, std::string::npos) << index;
        const size_t end = std::min(text.find_first_of(" \r\n", at), text.size());
        if (i == index) return std::string(text).replace(at, end - at, number);
        at = end;
    }
}

TEST(TieDrawsInputs, EveryIntegerOfThePartWorthHeader) {
    const std::string header =
        "3 1 4 1 1\r\n4 2 1 \r\n0 0 0 \r\n0 1 0 \r\n0 0 -1 \r\n2 1 Red, dark\r\n2 2  Blue\r\n3 1 "
        "Price\r\nNONE\r\n";
    std::vector<size_t> integers;
    for (size_t i = 0; i <= 18; ++i) integers.push_back(i);
    for (size_t i : {21, 22, 24, 25}) integers.push_back(i);
    for (size_t index : integers) {
        for (const std::string& number : kBeyond) {
            MemoryTextSource source(WithToken(header, index, number));
            EXPECT_EQ(FailureMessage([&] { ReadPartWorthHeader(source, "p.hbu"); }),
                      TooLarge(number, "p.hbu"))
                << index;
        }
    }
    MemoryTextSource source(header);
    EXPECT_EQ(FailureMessage([&] { ReadPartWorthHeader(source, "p.hbu"); }), "(no failure)");
}

TEST(TieDrawsInputs, EveryIntegerOfTheDrawRecords) {
    const std::string draws = "7 500 0 2 -1\n 0.1 0.2\n7 510 0 2 -1\n 0.3 0.4\n9 600 0 2 -1\n 0.5 0.6\n";
    for (size_t index : {0, 1, 2, 3, 4, 7, 8, 9, 10, 11, 14, 15, 16, 17, 18}) {
        for (const std::string& number : kBeyond) {
            const std::string text = WithToken(draws, index, number);
            EXPECT_EQ(FailureMessage([&] {
                          MemoryTextSource counted(text);
                          CountDrawsPerRespondent(counted, "d.dra", 2);
                          MemoryTextSource source(text);
                          RespondentDrawReader reader(source, "d.dra", 2, 2);
                          while (reader.ReadRespondent([](std::vector<double>&) {})) {
                          }
                      }),
                      TooLarge(number, "d.dra"))
                << index;
        }
    }
}

}  // namespace
}  // namespace ombrel
