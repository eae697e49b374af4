#include "estimator/diagnostics/NormalQuantile.h"

#include <cmath>
#include <limits>

namespace ombrel {
namespace {

// Coefficients of the three rational approximations, lowest power first; each denominator has
// the constant term 1.
constexpr double kCentralNumerator[8] = {3.387132872796366608, 133.141667891784377, 1971.59095030655144,
                                         13731.6937655094611,  45921.9539315498715, 67265.7709270087009,
                                         33430.5755835881281,  2509.08092873012267};
constexpr double kCentralDenominator[8] = {1.0,
                                           42.3133307016009113,
                                           687.187007492057908,
                                           5394.19602142475111,
                                           21213.7943015865959,
                                           39307.8958000927106,
                                           28729.0857357219427,
                                           5226.49527885285456};
constexpr double kNearNumerator[8] = {1.42343711074968358,   4.63033784615654530,    5.76949722146069141,
                                      3.64784832476320461,   1.27045825245236838,    0.241780725177450612,
                                      0.0227238449892691846, 0.000774545014278341408};
constexpr double kNearDenominator[8] = {1.0,
                                        2.05319162663775882,
                                        1.67638483018380385,
                                        0.689767334985100005,
                                        0.148103976427480075,
                                        0.0151986665636164572,
                                        0.000547593808499534495,
                                        1.05075007164441684e-9};
constexpr double kFarNumerator[8] = {6.65790464350110378,    5.46378491116411437,   1.78482653991729133,
                                     0.296560571828504891,   0.0265321895265761230, 0.00124266094738807844,
                                     2.71155556874348758e-5, 2.01033439929228813e-7};
constexpr double kFarDenominator[8] = {1.0,
                                       0.599832206555887938,
                                       0.136929880922735805,
                                       0.0148753612908506149,
                                       0.000786869131145613259,
                                       1.84631831751005468e-5,
                                       1.42151175831644589e-7,
                                       2.04426310338993979e-15};

// Horner's scheme from the highest power down, the order the published algorithm evaluates in.
double Polynomial(const double (&c)[8], double r) {
    double value = c[7];
    for (int k = 6; k >= 0; --k) value = value * r + c[k];
    return value;
}

double Ratio(const double (&numerator)[8], const double (&denominator)[8], double r) {
    return Polynomial(numerator, r) / Polynomial(denominator, r);
}

}  // namespace

double NormalQuantile(double p) {
    if (std::isnan(p) || p < 0.0 || p > 1.0) return std::numeric_limits<double>::quiet_NaN();
    if (p == 0.0) return -std::numeric_limits<double>::infinity();
    if (p == 1.0) return std::numeric_limits<double>::infinity();
    const double q = p - 0.5;
    if (std::fabs(q) <= 0.425) {
        const double r = 0.180625 - q * q;
        // (q times numerator) over denominator, in that order, as the published algorithm has it.
        return q * Polynomial(kCentralNumerator, r) / Polynomial(kCentralDenominator, r);
    }
    // The smaller tail probability, exact for p above one half by Sterbenz's lemma.
    double r = q < 0.0 ? p : 0.5 - p + 0.5;
    r = std::sqrt(-std::log(r));
    const double value = r <= 5.0 ? Ratio(kNearNumerator, kNearDenominator, r - 1.6)
                                  : Ratio(kFarNumerator, kFarDenominator, r - 5.0);
    return q < 0.0 ? -value : value;
}

}  // namespace ombrel
