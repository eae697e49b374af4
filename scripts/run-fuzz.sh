#!/usr/bin/env bash
# Builds every fuzz target with clang and libFuzzer (AddressSanitizer and UBSan on) and runs each for
# FUZZ_SECONDS, one after the other. Each works on a copy of its committed corpus in the build folder;
# an input that crashed, hung or ran out of memory is copied into fuzz/corpus/<name>/, where the
# replay test Fuzz.<name> of the normal build then fails until the reader is fixed.
#   scripts/run-fuzz.sh [BUILD-FOLDER] [TARGET ...]   (default: build-fuzz, every target)
#   FUZZ_SECONDS (default 60), FUZZ_JOBS (build jobs, default: the cores)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-fuzz}
shift || true
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh" clang-14 libfuzzer-14-dev
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++-14 -DOMBREL_FUZZ=ON -DOMBREL_BUILD_TESTS=OFF -DOMBREL_BUILD_BENCH=OFF
mapfile -t all < <(sed -n 's/^ombrel_add_fuzzer(\([a-z0-9_]*\).*/\1/p' "$root/fuzz/CMakeLists.txt")
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
cmake --build "$build" -j "$jobs" --target "${targets[@]/%/_fuzzer}"

found=0
for name in "${targets[@]}"; do
    seeds="$root/fuzz/corpus/$name"
    work="$build/fuzz-corpus/$name"
    artifacts="$build/fuzz-artifacts/$name"
    mkdir -p "$work" "$artifacts"
    cp -n "$seeds"/* "$work"/ 2>/dev/null || true
    echo "== $name: $seconds s"
    # A failure is an artifact, not the end of the run: every target gets its time.
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "$build/fuzz/${name}_fuzzer" "$work" "$seeds" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" 2>"$build/fuzz-artifacts/$name.log" || true
    grep -E '^stat::(number_of_executed_units|new_units_added)' "$build/fuzz-artifacts/$name.log" || true
    for input in "$artifacts"/crash-* "$artifacts"/timeout-* "$artifacts"/oom-* "$artifacts"/leak-*; do
        [ -e "$input" ] || continue
        base=$(basename "$input")
        if [ ! -e "$seeds/$base" ]; then
            cp "$input" "$seeds/$base"
            echo "   new failing input: fuzz/corpus/$name/$base (log: $build/fuzz-artifacts/$name.log)"
            found=1
        fi
    done
done
[ $found -eq 0 ] || echo "Failing inputs were added to fuzz/corpus; the fuzz tests replay them."
exit $found
