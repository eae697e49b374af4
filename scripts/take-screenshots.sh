#!/usr/bin/env bash
# Takes the README's screenshots from the real programs on a virtual display: the main window on the
# example study, and an estimation running in the estimator's console window.
#   scripts/take-screenshots.sh [BUILD-FOLDER]     (default: build)
# Needs, besides the build: apt-get install xvfb openbox xdotool x11-apps imagemagick
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
out="$root/docs/screenshots"
# A fixed folder, since its path shows in the main window.
work=/tmp/ombrel-screenshots
rm -rf "$work"
display=:97
cleanup() {
  pkill -f "$work/bin/" 2>/dev/null || true
  kill $(jobs -p) 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A private program folder, so that the names file written there is not the user's.
mkdir -p "$work/bin" "$work/studies" "$out"
cp "$build/bin/lumaro" "$build/bin/kivotra" "$work/bin/"
cp "$root/examples/coffee/coffee.att" "$root/examples/coffee/coffee.cho" "$work/studies/"
printf '%s' "$work/studies/coffee.cho" > "$work/bin/names.pellik"
# A long preliminary phase, so that the run is still going when the console is taken.
printf '50000\n1000\n10\n100\n0\n 1.00\n0\n5\n 2.00\n1\n1\n' > "$work/studies/coffee.set"

source "$root/scripts/screenshot-display.sh"
start_display "$display" 1024x768x24

(cd "$work/bin" && ./lumaro >/dev/null 2>&1) &
sleep 7   # the splash window goes after five seconds
main=$(xdotool search --name '^Feldrin Software Ombrel$' | head -1)
shot '^Feldrin Software Ombrel$' "$out/main-window.png"

# "Estimate Parameters" lies at (226, 284) in the window's client area; the report dialog's default
# button is "Continue with estimation".
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 226)) $((Y + 284))
sleep 0.3
xdotool click 1
sleep 2
shot '^Preparing Data Files$' "$out/preparing-data-files.png"
xdotool key Return
sleep 4
shot '^Feldrin Software Ombrel - coffee$' "$out/estimation-running.png"

# ESC stops the run (the restart file is written), any key closes the console, Esc the main window.
xdotool key Escape
sleep 3
xdotool key space
sleep 1
xdotool key Escape
echo "Screenshots are in $out."
