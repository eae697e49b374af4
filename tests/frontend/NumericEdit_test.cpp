#include "frontend/NumericEdit.h"

#include <gtest/gtest.h>

namespace ombrel {
namespace {

TEST(NumericEdit, DigitsAlwaysPass) {
    for (char c = '0'; c <= '9'; ++c) {
        EXPECT_TRUE(NumericEditAccepts("", false, c));
        EXPECT_TRUE(NumericEditAccepts("1.5", false, c));
    }
}

TEST(NumericEdit, OtherCharactersAreRefusedExceptBackspace) {
    EXPECT_FALSE(NumericEditAccepts("1", false, 'a'));
    EXPECT_FALSE(NumericEditAccepts("1", false, '+'));
    EXPECT_FALSE(NumericEditAccepts("1", false, ' '));
    EXPECT_FALSE(NumericEditAccepts("1", false, 'e'));
    EXPECT_TRUE(NumericEditAccepts("1.5", false, kBackspace));
}

TEST(NumericEdit, MinusOnlyIntoAnEmptyOrWhollySelectedField) {
    EXPECT_TRUE(NumericEditAccepts("", false, '-'));
    EXPECT_TRUE(NumericEditAccepts("2.00", true, '-'));
    EXPECT_FALSE(NumericEditAccepts("2.00", false, '-'));
    EXPECT_FALSE(NumericEditAccepts("-", false, '-'));
}

TEST(NumericEdit, ASecondDecimalSeparatorIsRefused) {
    EXPECT_TRUE(NumericEditAccepts("2", false, '.'));
    EXPECT_FALSE(NumericEditAccepts(" 2.00", false, '.'));
    EXPECT_FALSE(NumericEditAccepts("0.", false, '.'));
}

TEST(NumericEdit, CommaLocaleStillLetsAPointThrough) {
    // With "," as the separator, "," counts once and "." is outside the set but passes regardless.
    EXPECT_TRUE(NumericEditAccepts("2", false, ',', ','));
    EXPECT_FALSE(NumericEditAccepts("2,5", false, ',', ','));
    EXPECT_TRUE(NumericEditAccepts("2,5", false, '.', ','));
    EXPECT_FALSE(NumericEditAccepts("2", false, 'x', ','));
}

}  // namespace
}  // namespace ombrel
