#!/usr/bin/env bash
# Estimates the bundled example study (examples/coffee) on a copy in the build folder, so that the
# checkout stays clean, and compares the results with the truth the study was simulated from: the
# part-worths level by level, the importances, a market simulation and the holdout validation, each
# computed by ombrel once from the estimates and once from the true part-worths.
#   scripts/run-demo.sh [BUILD-FOLDER]     (default: build)
set -euo pipefail
export LC_ALL=C  # the numbers printed with printf and awk take a point whatever the locale

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
if [ ! -x "$build/bin/ombrel" ] || [ ! -x "$build/bin/kivotra" ]; then
  echo "run-demo.sh: $build/bin/ombrel and $build/bin/kivotra are not built; run 'make build' first." >&2
  exit 1
fi
build=$(cd "$build" && pwd)
ombrel="$build/bin/ombrel"
example="$root/examples/coffee"

fail() {
  echo "run-demo.sh: $*" >&2
  exit 1
}

# The study, and beside it the same study whose "results" are the true part-worths
# (coffee_truth.hbu), so that every analysis can be run on the truth as on the estimates.
demo="$build/demo/coffee"
truth="$build/demo/coffee-truth"
rm -rf "$demo" "$truth"
mkdir -p "$demo" "$truth"
for folder in "$demo" "$truth"; do
  cp "$example/coffee.att" "$example/coffee.cho" "$example/coffee.sub" "$example/coffee.val" "$folder/"
done
cp "$example/coffee_truth.hbu" "$truth/coffee.hbu"

# Through a pipe ombrel runs kivotra without its full-screen display: the preparation report stays on
# the screen, progress lines go to standard error, and no key is awaited at the end, so the demo also
# runs unattended. The settings are the defaults, with seed 1 so that every run gives the same numbers.
started=$(date +%s)
"$ombrel" estimate "$demo/coffee.cho" --fresh --seed 1 | cat
seconds=$(($(date +%s) - started))
for extension in hbu sum; do
  [ -f "$demo/coffee.$extension" ] || fail "the estimation wrote no $demo/coffee.$extension."
done

echo
echo "The estimation took $seconds s.  Results are in $demo:"
echo "  coffee.hbu  part-worths per respondent (coffee.lay its layout, coffee.csv the same for spreadsheets)"
echo "  coffee.std  their standard deviations;  coffee.sum  the summary;  coffee.log  the run's log"
echo

# Part-worth files: "A hasNone L 1 1", the level counts, A lines of the effects matrix, L layout
# lines ("i k label" or "NONE"), then per respondent a header of five numbers and L values. The
# summary's "Estimated Covariances" block holds, per level g, the line "g" and its row of L values.
awk -v estimated="$demo/coffee.hbu" -v true="$truth/coffee.hbu" -v summary="$demo/coffee.sum" '
  function fail(text) { printf "run-demo.sh: %s\n", text > "/dev/stderr"; failed = 1; exit 1 }
  function readPartWorths(path, which,    line, lineNumber, header, fields, count, t, i, position, r, k, label) {
    count = 0
    while ((getline line < path) > 0) {
      lineNumber++
      if (lineNumber == 1) { split(line, header, " "); continue }
      if (lineNumber <= 2 + header[1]) continue
      if (lineNumber <= 2 + header[1] + header[3]) {
        label = line
        if (label != "NONE") sub(/^[0-9]+ [0-9]+ /, "", label)
        labels[which, lineNumber - 2 - header[1]] = label
        continue
      }
      t = split(line, fields, " ")
      for (i = 1; i <= t; i++) tokens[++count] = fields[i]
    }
    close(path)
    levels[which] = header[3]
    for (position = 1; position + 4 + header[3] <= count; position += 5 + header[3]) {
      r++
      ids[which, r] = tokens[position]
      for (k = 1; k <= header[3]; k++) value[which, tokens[position], k] = tokens[position + 4 + k]
      rlhSum[which] += tokens[position + 1] / 1000
    }
    respondents[which] = r
  }
  function readPopulationVariances(path, levelCount,    line, inBlock, count, fields, t, i, g) {
    while ((getline line < path) > 0) {
      if (line == "Estimated Covariances") { inBlock = 1; continue }
      if (!inBlock) continue
      t = split(line, fields, " ")
      for (i = 1; i <= t; i++) covarianceTokens[++count] = fields[i]
    }
    close(path)
    for (g = 1; g <= levelCount; g++) variance[g] = covarianceTokens[(g - 1) * (levelCount + 1) + 1 + g]
    if (count != levelCount * (levelCount + 1)) fail(path " holds no covariance block of " levelCount " levels")
  }
  BEGIN {
    readPartWorths(estimated, "e")
    readPartWorths(true, "t")
    L = levels["e"]; n = respondents["e"]
    if (n == 0 || L != levels["t"] || n != respondents["t"]) fail("the estimates and the truth differ in shape")
    for (k = 1; k <= L; k++) if (labels["e", k] != labels["t", k]) fail("level " k " differs: " labels["e", k])
    for (r = 1; r <= n; r++) if (!(("t", ids["e", r], 1) in value)) fail("respondent " ids["e", r] " has no truth")
    readPopulationVariances(summary, L)

    printf "Part-worths over the %d respondents beside the truth they were simulated from\n", n
    printf "(effects-coded, zero-sum per attribute):\n\n"
    printf "  %-24s %18s %18s\n", "", "------ Mean ------", "------- SD -------"
    printf "  %-24s %9s %8s %9s %8s %12s\n", "Level", "Estimate", "Truth", "Estimate", "Truth", "Correlation"
    for (k = 1; k <= L; k++) {
      se = st = sp = ee = tt = 0
      for (r = 1; r <= n; r++) { id = ids["e", r]; se += value["e", id, k]; st += value["t", id, k] }
      me = se / n; mt = st / n
      for (r = 1; r <= n; r++) {
        id = ids["e", r]; de = value["e", id, k] - me; dt = value["t", id, k] - mt
        ee += de * de; tt += dt * dt; sp += de * dt
        all["e"] += value["e", id, k]; all["t"] += value["t", id, k]
      }
      correlation = (ee > 0 && tt > 0) ? sp / sqrt(ee * tt) : 0
      correlationSum += correlation
      meanProducts += me * mt; trueMeanSquares += mt * mt
      estimatedSdSum += sqrt(variance[k]); trueSdSum += sqrt(tt / (n - 1))
      printf "  %-24s %9.3f %8.3f %9.3f %8.3f %12.3f\n", labels["e", k], me, mt, sqrt(variance[k]), sqrt(tt / (n - 1)), correlation
    }
    me = all["e"] / (n * L); mt = all["t"] / (n * L); sp = ee = tt = 0
    for (k = 1; k <= L; k++) for (r = 1; r <= n; r++) {
      id = ids["e", r]; de = value["e", id, k] - me; dt = value["t", id, k] - mt
      ee += de * de; tt += dt * dt; sp += de * dt
    }
    printf "\n  Mean: of the respondents'"'"' estimates, and of their true part-worths.\n"
    printf "  SD: the estimated population standard deviation (coffee.sum), and the standard deviation\n"
    printf "  of the true part-worths over the respondents.\n"
    printf "  Correlation: of the estimates with the true part-worths over the respondents, level by level;\n"
    printf "  their mean is %.3f.  Over all %d x %d values at once the correlation is %.3f.\n", correlationSum / L, n, L, sp / sqrt(ee * tt)
    printf "  Scale: a line through the origin fits the estimated means at %.2f times the true ones; the\n", meanProducts / trueMeanSquares
    printf "  estimated SDs are %.2f times the true ones on average.\n", estimatedSdSum / trueSdSum
    printf "  Root likelihood on the estimation tasks: %.3f for the estimates, %.3f for the true part-worths.\n", rlhSum["e"] / n, rlhSum["t"] / n
  }
  END { if (failed) exit 1 }'

# Field number column of the CSV row whose first field is key (the first line is the header).
column() { awk -F, -v key="$2" -v column="$3" 'NR > 1 && $1 == key { print $column; found = 1 } END { exit !found }' "$1"; }

echo
echo "== ombrel importances"
"$ombrel" importances "$demo/coffee.cho"
"$ombrel" importances "$truth/coffee.cho" >/dev/null
echo "The same from the true part-worths:"
awk -F, 'NR > 1 { printf "  %-14s %6.2f%% (SD %5.2f)\n", $2, $3, $4 }' "$truth/coffee_importances.csv"

# Three bags on the shelf and the option to buy none of them. The numbers are the levels of brand,
# price, roast, grind and certification, in the order of coffee.att.
for folder in "$demo" "$truth"; do
  cat >"$folder/market.txt" <<'EOF'
# A premium bag, a value bag and a Fair Trade bag in the middle, and the None alternative.
Kaffa_Premium        1 4 2 1 1
MorningPeak_Value    2 1 3 3 2
BeanBloom_FairTrade  3 2 2 3 1
NONE
EOF
done
echo
echo "== ombrel simulate (scenario $demo/market.txt)"
"$ombrel" simulate "$demo/coffee.cho" "$demo/market.txt"
"$ombrel" simulate "$truth/coffee.cho" "$truth/market.txt" >/dev/null
echo "The same from the true part-worths:"
awk -F, 'NR > 1 { printf "  %-20s %6.2f%%\n", $1, $2 }' "$truth/market_share.csv"

echo
echo "== ombrel holdout"
"$ombrel" holdout "$demo/coffee.cho"
"$ombrel" holdout "$truth/coffee.cho" >/dev/null
truthHit=$(column "$truth/coffee_holdout.csv" all 2)
truthMae=$(column "$truth/coffee_holdout.csv" all 3)
estimateHit=$(column "$demo/coffee_holdout.csv" all 2)
estimateMae=$(column "$demo/coffee_holdout.csv" all 3)
printf "The true part-worths on the same tasks: hit rate %.2f%%, share MAE %.2f points (the estimates: %.2f%%\n" \
  "$truthHit" "$truthMae" "$estimateHit"
printf "and %.2f).  Even the truth misses choices, since every choice has a random part: its hit rate is\n" \
  "$estimateMae"
echo "what an estimate can hope for."

# The report command comes with a later build; the demo runs with and without it.
commands=$("$ombrel" --help)
if grep -Eq '^  report( |$)' <<<"$commands"; then
  echo
  echo "== ombrel report"
  "$ombrel" report "$demo/coffee.cho" >/dev/null
  [ -f "$demo/coffee_report.html" ] || fail "ombrel report wrote no $demo/coffee_report.html."
  echo "The report is in $demo/coffee_report.html."
fi
