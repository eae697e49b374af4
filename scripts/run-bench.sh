#!/usr/bin/env bash
# Prints the estimator's milliseconds per iteration and its scaling table.
set -euo pipefail
build=${1:-build}
"$build/bench/iteration_benchmark" "${@:2}"
"$build/bench/checkpoint_benchmark"
