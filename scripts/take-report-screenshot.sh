#!/usr/bin/env bash
# Estimates the example study (examples/coffee) briefly with three chains in a temporary folder, writes
# its report with `ombrel report`, checks the page in headless Chromium as a browser sees it (read as
# XHTML it must parse without an error, and every chart must be in the rendered page) and keeps a
# screenshot of its top in docs/screenshots/report.png, as wide as the manual's other pictures and no
# taller than its page. Run by hand after a change to the report:
#   scripts/take-report-screenshot.sh [BUILD-FOLDER]     (default: build; needs chromium)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
if [ ! -x "$build/bin/ombrel" ] || [ ! -x "$build/bin/kivotra" ]; then
  echo "take-report-screenshot.sh: $build/bin/ombrel and $build/bin/kivotra are not built." >&2
  exit 1
fi
build=$(cd "$build" && pwd)
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "take-report-screenshot.sh: chromium is not installed (apt-get install chromium)." >&2
  exit 1
fi

work=$(mktemp -d -t ombrel-report.XXXXXX)
trap 'rm -rf "$work"' EXIT
for extension in att cho sub eff val qal; do
  if [ -f "$root/examples/coffee/coffee.$extension" ]; then cp "$root/examples/coffee/coffee.$extension" "$work/"; fi
done

"$build/bin/ombrel" estimate "$work/coffee.cho" --fresh --seed 1 --chains 3 --jobs 2 --iterations 2000 \
  --draws 500 --draw-skip 2 > "$work/estimate.txt" 2>&1
"$build/bin/ombrel" report "$work/coffee.cho"
report="$work/coffee_report.html"

# A browser reads a .xhtml file with its XML parser, which shows a parsererror element for any fault.
render() { "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars "$@" 2> "$work/browser.txt"; }
cp "$report" "$work/coffee_report.xhtml"
dom=$(render --dump-dom "file://$work/coffee_report.xhtml")
if grep -q parsererror <<<"$dom"; then
  echo "take-report-screenshot.sh: the browser cannot parse the report as XHTML:" >&2
  grep -o 'parsererror.\{0,300\}' <<<"$dom" >&2
  exit 1
fi
written=$(grep -o '<svg ' "$report" | wc -l)
rendered=$(grep -o '<svg ' <<<"$dom" | wc -l)
if [ "$written" -eq 0 ] || [ "$written" -ne "$rendered" ]; then
  echo "take-report-screenshot.sh: the report holds $written charts, the rendered page $rendered." >&2
  exit 1
fi

mkdir -p "$root/docs/screenshots"
shot="$root/docs/screenshots/report.png"
render --force-device-scale-factor=1 --window-size=680,1000 --screenshot="$shot" "file://$report" > /dev/null
size=$(stat -c %s "$shot")
echo "The rendered report holds its $rendered charts; the screenshot is $shot ($size bytes)."
if [ "$size" -gt 500000 ]; then
  echo "take-report-screenshot.sh: the screenshot is larger than 500 KB." >&2
  exit 1
fi
