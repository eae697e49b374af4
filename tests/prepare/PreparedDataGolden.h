#pragma once

// A respondent block shared by the writer's tests (which must produce exactly these bytes) and the
// estimator's reader tests (which must read them back): together a round trip through the file.
//
// Respondent 17, one allocation task of two concepts plus a None alternative whose parameter is not
// estimated, total task weight 5. Coded rows (1, -1), (0.5, 2), None (0, 0); answers 2, 0, 3.
// Two expanded tasks: concept 1 with weight 2 / (1e-10 + 2 + 0 + 3) * 5, and the None answer with
// no flagged row and weight 0. Both drop the None row and column (R = 2, V = 2).

#include <vector>

#include "tests/support/TestSupport.h"

namespace ombrel::test {

inline double GoldenFirstWeight() {
    double total = 1e-10;
    total += 2;
    total += 0;
    total += 3;
    return 2 / total * 5.0;
}

inline std::vector<unsigned char> GoldenNoneDroppedRespondent() {
    return Bytes()
        .I32(17)
        .I32(2)
        .I32(2)
        .I32(2)
        .F64(1.0)
        .F64(-1.0)
        .I32(1)
        .F64(0.5)
        .F64(2.0)
        .I32(0)
        .F64(GoldenFirstWeight())
        .I32(2)
        .I32(2)
        .F64(1.0)
        .F64(-1.0)
        .I32(0)
        .F64(0.5)
        .F64(2.0)
        .I32(0)
        .F64(0.0)
        .Get();
}

}  // namespace ombrel::test
