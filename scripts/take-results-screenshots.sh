#!/usr/bin/env bash
# Takes the README's screenshots of the results window from the real program on a virtual display:
# the example study estimated with three chains and its draws saved, then File > View Results... in
# Lumaro, and the convergence, part-worth and simulator tabs.
#   scripts/take-results-screenshots.sh [BUILD-FOLDER]     (default: build)
# Needs, besides the build: apt-get install xvfb openbox xdotool x11-apps imagemagick
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
out="$root/docs/screenshots"
work=/tmp/ombrel-results-screenshots
rm -rf "$work"
display=:96
cleanup() {
  pkill -f "$work/bin/" 2>/dev/null || true
  kill $(jobs -p) 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/bin" "$work/studies" "$work/home" "$out"
cp "$build/bin/lumaro" "$build/bin/kivotra" "$build/bin/ombrel" "$work/bin/"
for extension in att cho sub val; do cp "$root/examples/coffee/coffee.$extension" "$work/studies/"; done
"$work/bin/ombrel" estimate "$work/studies/coffee.cho" --fresh --seed 1 --chains 3 --jobs 2 --iterations 3000 \
  --draws 1000 --draw-skip 2 --save-draws > "$work/estimate.txt" 2>&1
printf '%s' "$work/studies/coffee.cho" > "$work/bin/names.pellik"

# A fresh home: no remembered window size.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
source "$root/scripts/screenshot-display.sh"
start_display "$display" 1280x900x24

(cd "$work/bin" && ./lumaro >/dev/null 2>&1) &
sleep 7   # the splash window goes after five seconds
main=$(xdotool search --name '^Feldrin Software Ombrel$' | head -1)
xdotool windowactivate --sync "$main"
xdotool key alt+f
sleep 0.5
xdotool key r
sleep 4
results=$(xdotool search --name '^Results - coffee$' | tail -1)
shot '^Results - coffee$' "$out/results-convergence.png"
xdotool windowactivate --sync "$results"
xdotool key ctrl+Tab
sleep 1
shot '^Results - coffee$' "$out/results-part-worths.png"
xdotool key ctrl+Tab ctrl+Tab
sleep 1
# "Compute intervals" lies at (240, 726) of the window's picture (its default size in a fresh home).
eval "$(xdotool getwindowgeometry --shell "$results")"
xdotool mousemove $((X - 2 + 240)) $((Y - 40 + 726))
sleep 0.3
xdotool click 1
sleep 4
shot '^Results - coffee$' "$out/results-simulator.png"
echo "Screenshots are in $out."
