#pragma once

// One complete attribute label file, shared by the writer's golden test and the estimator's loading
// test, so that what the preparation writes is exactly what the estimator is tested to read.
//
// Three attributes: a brand with levels "Brand A", "Brand B", "Brand C" (part-worth); a price with
// four levels, linear with the data file's numbers, whose values-file text is "Price per unit"; a
// colour with "Red" and "Blue" (part-worth). Interactions brand x colour and price x colour; the None
// parameter is estimated.

namespace ombrel::test {

inline constexpr const char* kGoldenLabelFile =
    "3 1 3 1 2\n"
    "1 0 1 \n"
    "0 -1 1 \n"
    "1 1 1 \n"
    "1 1 Brand A\n"
    "1 2 Brand B\n"
    "1 3 Brand C\n"
    "2 1 Price per unit\n"
    "3 1 Red\n"
    "3 2 Blue\n"
    "Brand A x Red\n"
    "Brand A x Blue\n"
    "Brand B x Red\n"
    "Brand B x Blue\n"
    "Brand C x Red\n"
    "Brand C x Blue\n"
    "Price per unit x Red\n"
    "Price per unit x Blue\n"
    "NONE\n";

// levelCount of that file: 3 + 1 + 2 levels, 3 x 2 + 1 x 2 interaction cells, 1 for None.
inline constexpr int kGoldenLevelCount = 15;

}  // namespace ombrel::test
