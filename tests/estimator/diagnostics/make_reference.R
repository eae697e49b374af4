# Writes diagnostics_reference.txt: fixed data sets and the convergence measures R's posterior
# package computes for them, so the C++ measures can be checked without R.
#   cd tests/estimator/diagnostics && Rscript make_reference.R
# Format: a "dataset NAME CHAINS DRAWS" line, one "chain v1 v2 ..." line per chain, then one line
# each for mean, sd, rhat, ess_bulk and ess_tail ("NA" where posterior gives NA), then "end".
suppressPackageStartupMessages(library(posterior))

datasets <- list()
add <- function(name, draws) {
  datasets[[length(datasets) + 1]] <<- list(name = name, draws = draws)
}
chains_of <- function(values, chains) matrix(values, ncol = chains)

set.seed(20211)
add("normal_3x200", chains_of(rnorm(600), 3))
add("shifted_means_3x200", chains_of(rnorm(600, mean = rep(c(0, 0.5, 1.5), each = 200)), 3))
ar1 <- function(n, rho) {
  x <- numeric(n)
  x[1] <- rnorm(1) / sqrt(1 - rho^2)
  for (i in 2:n) x[i] <- rho * x[i - 1] + rnorm(1)
  x
}
add("ar1_rho0.9_3x1000", cbind(ar1(1000, 0.9), ar1(1000, 0.9), ar1(1000, 0.9)))
add("ties_1_decimal_3x200", chains_of(round(rnorm(600, 2, 0.3), 1), 3))
add("three_decimals_4x250", chains_of(round(rnorm(1000, -1, 2), 3), 4))
add("single_chain_1x300", chains_of(ar1(300, 0.5), 1))
add("odd_length_3x201", chains_of(rexp(603), 3))
add("odd_single_chain_1x101", chains_of(rnorm(101), 1))
add("constant_3x50", chains_of(rep(1.234, 150), 3))
add("tiny_4x7", chains_of(rnorm(28), 4))
add("too_short_for_ess_2x5", chains_of(rnorm(10), 2))
add("heavy_tails_4x100", chains_of(rcauchy(400), 4))
add("binary_3x100", chains_of(rbinom(300, 1, 0.3), 3))
add("anticorrelated_2x400", cbind(ar1(400, -0.6), ar1(400, -0.6)))
add("scaled_large_3x100", chains_of(1e6 + rnorm(300, 0, 1e-3), 3))

fmt <- function(v) ifelse(is.na(v), "NA", sprintf("%.17g", v))
out <- c(
  "# Convergence measures of fixed data sets, computed by R's posterior package:",
  sprintf("# %s, posterior %s; made by `Rscript make_reference.R` (set.seed(20211)).",
          R.version.string, as.character(packageVersion("posterior"))),
  "# mean and sd over all draws (sd with n - 1); rhat = posterior::rhat, ess_bulk = posterior::ess_bulk,",
  "# ess_tail = posterior::ess_tail, each on the draws as an iterations x chains matrix.")
for (d in datasets) {
  x <- d$draws
  m <- suppressWarnings(c(mean(x), stats::sd(as.vector(x)), rhat(x), ess_bulk(x), ess_tail(x)))
  out <- c(out, sprintf("dataset %s %d %d", d$name, ncol(x), nrow(x)))
  for (k in seq_len(ncol(x))) out <- c(out, paste("chain", paste(fmt(x[, k]), collapse = " ")))
  out <- c(out, paste("mean", fmt(m[1])), paste("sd", fmt(m[2])), paste("rhat", fmt(m[3])),
           paste("ess_bulk", fmt(m[4])), paste("ess_tail", fmt(m[5])), "end")
}
writeLines(out, "diagnostics_reference.txt")
