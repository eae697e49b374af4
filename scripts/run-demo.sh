#!/usr/bin/env bash
# Estimates the bundled example study (examples/coffee) on a copy in the build folder, so that the
# checkout stays clean, and compares the average part-worths with the truth it was simulated from.
#   scripts/run-demo.sh [BUILD-FOLDER]     (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
if [ ! -x "$build/bin/ombrel" ] || [ ! -x "$build/bin/kivotra" ]; then
  echo "run-demo.sh: $build/bin/ombrel and $build/bin/kivotra are not built; run 'make build' first." >&2
  exit 1
fi
build=$(cd "$build" && pwd)

demo="$build/demo/coffee"
rm -rf "$demo"
mkdir -p "$demo"
cp "$root/examples/coffee/coffee.att" "$root/examples/coffee/coffee.cho" "$demo/"

# Through a pipe ombrel runs kivotra without its full-screen display: the preparation report stays on
# the screen, progress lines go to standard error, and no key is awaited at the end, so the demo also
# runs unattended.
"$build/bin/ombrel" estimate "$demo/coffee.cho" --fresh --seed 1 | cat

hbu="$demo/coffee.hbu"
if [ ! -f "$hbu" ]; then
  echo "run-demo.sh: the estimation wrote no $hbu." >&2
  exit 1
fi

echo
echo "Results are in $demo:"
echo "  coffee.hbu  part-worths per respondent (coffee.lay its layout, coffee.csv the same for spreadsheets)"
echo "  coffee.std  their standard deviations;  coffee.sum  the summary;  coffee.log  the run's log"
echo

# coffee.hbu: "A hasNone L 1 1", the level counts, A lines of the effects matrix, L layout lines
# ("i k label" or "NONE"), then per respondent a header of five numbers and L values.
estimates=$(awk '
  NR == 1 { attributes = $1; levels = $3; next }
  NR <= 2 + attributes { next }
  NR <= 2 + attributes + levels {
    label = $0
    if (label != "NONE") sub(/^[0-9]+ [0-9]+ /, "", label)
    labels[++labelCount] = label
    next
  }
  { for (i = 1; i <= NF; i++) token[++tokenCount] = $i }
  END {
    position = 1
    while (position + 4 + levels <= tokenCount) {
      position += 5
      for (k = 1; k <= levels; k++) sum[k] += token[position + k - 1]
      position += levels
      respondents++
    }
    if (respondents == 0) exit 1
    for (k = 1; k <= levels; k++) printf "%s\t%.3f\n", labels[k], sum[k] / respondents
  }' "$hbu")

# coffee_truth.csv: attribute,level,label,population_mean,respondent_mean, in the order of the values.
truth=$(tail -n +2 "$root/examples/coffee/coffee_truth.csv" | awk -F, '{ printf "%s\t%s\n", $3, $5 }')

echo "Average part-worths over the respondents, next to the truth (effects-coded, zero-sum per attribute):"
paste <(printf '%s\n' "$estimates") <(printf '%s\n' "$truth") | awk -F'\t' '
  BEGIN { printf "  %-24s %10s %10s\n", "Level", "Estimated", "Truth" }
  {
    if ($1 != $3) { printf "run-demo.sh: level %s of the results does not match %s of the truth\n", $1, $3 > "/dev/stderr"; bad = 1 }
    printf "  %-24s %10.3f %10.3f\n", $1, $2, $4
  }
  END { exit bad }'
