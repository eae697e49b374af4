#include "common/TextNumberScanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/TextConversion.h"
#include "tests/support/TestSupport.h"

namespace ombrel {
namespace {

// A stream over a string, closed at the end of the test.
class TextStream {
public:
    explicit TextStream(const std::string& text) : file_(std::tmpfile()) {
        std::fwrite(text.data(), 1, text.size(), file_);
        std::rewind(file_);
    }
    ~TextStream() { std::fclose(file_); }
    std::FILE* Get() const { return file_; }

private:
    std::FILE* file_;
};

TEST(TextNumberScanner, ReadsLikeScanfAcrossLineBreaksAndTouchingFields) {
    TextStream stream("  12 -3\r\n0.500-12345.679\n+7 1e3");
    TextNumberScanner scanner(stream.Get(), "numbers.txt");
    int32_t i = 0;
    double d = 0.0;
    ASSERT_TRUE(scanner.ReadInt(i));
    EXPECT_EQ(12, i);
    ASSERT_TRUE(scanner.ReadInt(i));
    EXPECT_EQ(-3, i);
    ASSERT_TRUE(scanner.ReadDouble(d));
    EXPECT_EQ(0.5, d);
    ASSERT_TRUE(scanner.ReadDouble(d));
    EXPECT_EQ(-12345.679, d);
    ASSERT_TRUE(scanner.ReadInt(i));
    EXPECT_EQ(7, i);
    ASSERT_TRUE(scanner.ReadDouble(d));
    EXPECT_EQ(1000.0, d);
    EXPECT_TRUE(scanner.AtEnd());
    EXPECT_FALSE(scanner.ReadDouble(d));
}

TEST(TextNumberScanner, IntegerStopsAtTheDecimalPointLikePercentD) {
    TextStream stream("12.5");
    TextNumberScanner scanner(stream.Get(), "numbers.txt");
    int32_t i = 0;
    double d = 0.0;
    ASSERT_TRUE(scanner.ReadInt(i));
    EXPECT_EQ(12, i);
    ASSERT_TRUE(scanner.ReadDouble(d));
    EXPECT_EQ(0.5, d);
}

TEST(TextNumberScanner, RejectsWhatIsNoNumber) {
    int32_t i = 0;
    double d = 0.0;
    {
        TextStream stream("abc");
        TextNumberScanner scanner(stream.Get(), "numbers.txt");
        EXPECT_FALSE(scanner.ReadDouble(d));
        EXPECT_FALSE(scanner.AtEnd());
    }
    {
        TextStream stream("99999999999 +-1");
        TextNumberScanner scanner(stream.Get(), "numbers.txt");
        EXPECT_THROW(scanner.ReadInt(i), NumberTooLargeError);  // beyond int32: refused, not undefined
    }
    {
        TextStream stream("+-1");
        TextNumberScanner scanner(stream.Get(), "numbers.txt");
        EXPECT_FALSE(scanner.ReadInt(i));
    }
    {
        TextStream stream(std::string(1000, '7'));
        TextNumberScanner scanner(stream.Get(), "numbers.txt");
        EXPECT_FALSE(scanner.ReadDouble(d));  // runs on too long
    }
}

TEST(TextNumberScanner, NumbersAcrossTheBufferBoundaryStayWhole) {
    std::string text;
    for (int k = 0; k < 20000; ++k) text += "-1234.567 ";
    TextStream stream(text);
    TextNumberScanner scanner(stream.Get(), "numbers.txt");
    double d = 0.0;
    int count = 0;
    while (scanner.ReadDouble(d)) {
        ASSERT_EQ(-1234.567, d) << count;
        ++count;
    }
    EXPECT_EQ(20000, count);
}

}  // namespace
}  // namespace ombrel

namespace ombrel {
namespace {

// The ends of int32 read as before; one beyond either end, 2^32 + 1 (1 after wrapping) and twenty
// digits are refused naming the file and the number as written, wherever they stand.
TEST(TextNumberScanner, IntegersBeyond32BitsAreRefusedWithTheFileAndTheNumber) {
    TextStream edges("2147483647 -2147483648 +2147483647");
    TextNumberScanner scanner(edges.Get(), "edges.txt");
    int32_t i = 0;
    ASSERT_TRUE(scanner.ReadInt(i));
    EXPECT_EQ(i, INT32_MAX);
    ASSERT_TRUE(scanner.ReadInt(i));
    EXPECT_EQ(i, INT32_MIN);
    ASSERT_TRUE(scanner.ReadInt(i));
    EXPECT_EQ(i, INT32_MAX);
    for (const std::string number :
         {"2147483648", "-2147483649", "4294967297", "+12345678901234567890", "-12345678901234567890"}) {
        TextStream stream("1 " + number + " 2");
        TextNumberScanner beyond(stream.Get(), "d.chs");
        ASSERT_TRUE(beyond.ReadInt(i));
        try {
            beyond.SkipInt();
            ADD_FAILURE() << number << " was read";
        } catch (const NumberTooLargeError& error) {
            EXPECT_STREQ(error.what(),
                         ("The number " + number +
                          " in d.chs does not fit a 32-bit integer (-2147483648 to 2147483647).")
                             .c_str());
        }
    }
    // A number of thousands of digits is quoted by its first forty.
    TextStream longNumber(std::string(5000, '9') + " ");
    TextNumberScanner scanner300(longNumber.Get(), "d.chs");
    EXPECT_EQ(test::FailureMessage([&] { scanner300.ReadInt(i); }),
              "The number " + std::string(40, '9') +
                  "... in d.chs does not fit a 32-bit integer (-2147483648 to 2147483647).");
    // A decimal read of the same text is no integer read: it takes the number as it is.
    TextStream real("4294967297");
    TextNumberScanner reals(real.Get(), "d.chs");
    double d = 0.0;
    ASSERT_TRUE(reals.ReadDouble(d));
    EXPECT_EQ(d, 4294967297.0);
}

TEST(CheckedLeadingInt, ReadsLikeLeadingIntWithinTheRangeAndRefusesBeyondIt) {
    EXPECT_EQ(CheckedLeadingInt(" -2147483648x", "e.eff"), INT32_MIN);
    EXPECT_EQ(CheckedLeadingInt("2147483647", "e.eff"), INT32_MAX);
    EXPECT_EQ(CheckedLeadingInt("abc", "e.eff"), 0);
    EXPECT_EQ(CheckedLeadingInt("#3", "e.eff"), 0);
    EXPECT_EQ(test::FailureMessage([&] { CheckedLeadingInt(" +4294967297,", "e.eff"); }),
              "The number +4294967297 in e.eff does not fit a 32-bit integer (-2147483648 to 2147483647).");
    EXPECT_EQ(LeadingIntBeyondRange("-2147483649 5"), "-2147483649");
    EXPECT_EQ(LeadingIntBeyondRange("  -2147483648"), "");
    EXPECT_EQ(LeadingIntBeyondRange("-"), "");
}

}  // namespace
}  // namespace ombrel
