# Reference convergence measures of the three-chain fixture (threechains/), from R's posterior
# package, for DiagnoseStudy's comparison test. Reads the histories as the diagnostics do: the last D
# lines of each chain's .alp and .cov (D = the draws per respondent, line 2 of the chain's .set), the
# values as printed (three decimals; the .cov values touch, so they are matched, not split), the
# alpha rows first, then the variances (the diagonal of the covariance's upper triangle).
#
#   Rscript tests/estimator/diagnostics/make_threechains_reference.R
#
# (from the repository's root) writes tests/estimator/diagnostics/threechains_reference.txt: one line
# per table row, "kind index mean sd rhat ess_bulk ess_tail", %.17g, NA where posterior gives NA.

suppressPackageStartupMessages(library(posterior))

here <- "tests/estimator/diagnostics"
fixture <- file.path(here, "threechains")
chains <- 3

printed_values <- function(line) {
  as.numeric(regmatches(line, gregexpr("-?[0-9]+\\.[0-9]{3}", line))[[1]])
}

last_lines <- function(path, draws) {
  lines <- readLines(path)
  stopifnot(length(lines) >= draws)
  lines[(length(lines) - draws + 1):length(lines)]
}

draws_of_chain <- function(k) {
  folder <- file.path(fixture, sprintf("coffee_chain%d", k))
  draws <- as.integer(readLines(file.path(folder, "coffee.set"))[2])
  alpha <- do.call(rbind, lapply(last_lines(file.path(folder, "coffee.alp"), draws), printed_values))
  covariance <- do.call(rbind, lapply(last_lines(file.path(folder, "coffee.cov"), draws), printed_values))
  n <- ncol(covariance)
  p <- as.integer(round((sqrt(8 * n + 1) - 1) / 2))
  stopifnot(p * (p + 1) / 2 == n)
  diagonal <- cumsum(c(1, if (p > 1) p:2 else integer(0)))
  list(alpha = alpha, variance = covariance[, diagonal, drop = FALSE])
}

per_chain <- lapply(seq_len(chains), draws_of_chain)

format_value <- function(x) if (is.na(x)) "NA" else sprintf("%.17g", x)

rows <- character(0)
for (kind in c("alpha", "variance")) {
  count <- ncol(per_chain[[1]][[kind]])
  for (index in seq_len(count)) {
    x <- sapply(per_chain, function(chain) chain[[kind]][, index])
    values <- c(mean(x), sd(x), rhat(x), ess_bulk(x), ess_tail(x))
    rows <- c(rows, paste(kind, index, paste(sapply(values, format_value), collapse = " ")))
  }
}

header <- c(
  sprintf("# %s, posterior %s", R.version.string, as.character(packageVersion("posterior"))),
  "# Rscript tests/estimator/diagnostics/make_threechains_reference.R",
  "# kind index mean sd rhat ess_bulk ess_tail"
)
writeLines(c(header, rows), file.path(here, "threechains_reference.txt"))
