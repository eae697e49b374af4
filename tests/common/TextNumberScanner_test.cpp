#include "common/TextNumberScanner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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
