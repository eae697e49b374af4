#pragma once

// A study of two respondents whose results the tests write by hand, so that every quantity of the
// analyses can be worked out on paper:
//   attribute 1 Brand, part-worth, 3 levels; attribute 2 Price per pack, linear with the values
//   2, 4, 6 (coded as -2, 0, 2); attribute 3 Size, part-worth, 2 levels; and None.
// Part-worths (".hbu"), in the order Brand 1 2 3, Price coefficient, Size 1 2, None:
//   respondent 101:  1.000   0.000  -1.000  -0.400   0.250  -0.250   0.200
//   respondent 102:  0.500  -0.500   0.000  -0.250   1.000  -1.000  -0.500
// The data file holds three tasks of two concepts and None, and respondent 103 between the two,
// who has no part-worths (as if the qualifiers had left it out). The subset file keeps task 1 only.

#include <string>

#include "tests/support/TestSupport.h"

namespace ombrel::test {

inline const char* const kShopAttributes =
    "Alpha\n\nBeta\n\nGamma\n\n\n"
    "$2\n\n$4\n\n$6\n\n\n"
    "Small\n\nLarge\n";
inline const char* const kShopValues = "Brand\n0 0 0\nPrice per pack\n2 4 6\nSize\n0 0\n";
inline const char* const kShopEffects = "1 -2 3 0\n";

inline const std::string kShopHbuHead =
    "3 1 7 1 1\n3 1 2 \n1 0 0 \n0 -1 0 \n0 0 1 \n"
    "1 1 Alpha\n1 2 Beta\n1 3 Gamma\n2 1 Price per pack\n3 1 Small\n3 2 Large\nNONE\n";
inline const std::string kShopHbu = kShopHbuHead +
                                    "    101     650  0 7 -1\n"
                                    "  1.000   0.000  -1.000  -0.400   0.250  -0.250   0.200 \n"
                                    "    102     720  0 7 -1\n"
                                    "  0.500  -0.500   0.000  -0.250   1.000  -1.000  -0.500 \n";

// Task 1: (1 1 1) (2 2 2); task 2: (1 1 1) (2 3 2); task 3: (3 2 2) (1 3 1). Respondent 101 chooses
// 1, 1, 2; respondent 102 chooses 1, None (3), 2; respondent 103 chooses 2, nothing (0), 1.
inline const char* const kShopChoices =
    "101 0 3 3 1\n"
    "2 1\n1 1 1\n2 2 2\n1 0\n"
    "2 1\n1 1 1\n2 3 2\n1 0\n"
    "2 1\n3 2 2\n1 3 1\n2 0\n"
    "103 0 3 3 1\n"
    "2 1\n1 1 1\n2 2 2\n2 0\n"
    "2 1\n1 1 1\n2 3 2\n0 0\n"
    "2 1\n3 2 2\n1 3 1\n1 0\n"
    "102 0 3 3 1\n"
    "2 1\n1 1 1\n2 2 2\n1 0\n"
    "2 1\n1 1 1\n2 3 2\n3 0\n"
    "2 1\n3 2 2\n1 3 1\n2 0\n";

// Writes the study as "<folder>shop.cho" and its files; returns the data file's path.
inline std::string WriteShopStudy(const std::string& folder) {
    WriteFileText(folder + "shop.att", kShopAttributes);
    WriteFileText(folder + "shop.val", kShopValues);
    WriteFileText(folder + "shop.eff", kShopEffects);
    WriteFileText(folder + "shop.cho", kShopChoices);
    WriteFileText(folder + "shop.sub", "1\n");
    WriteFileText(folder + "shop.hbu", kShopHbu);
    return folder + "shop.cho";
}

}  // namespace ombrel::test
