#pragma once

namespace ombrel {

// The standard normal quantile of p in (0, 1) by Wichura's algorithm AS 241 (Applied Statistics 37,
// 1988), accurate to about 1e-16 and the same arithmetic as R's qnorm, so that rank-normalised
// scores agree with R's to the last bit. 0 and 1 give -inf and +inf, anything else outside NaN.
double NormalQuantile(double p);

}  // namespace ombrel
