#!/usr/bin/env bash
# Prints the estimator's milliseconds per iteration, its scaling table and the cost of a checkpoint.
set -euo pipefail
build=${1:-build}
"$build/bench/iteration_benchmark" "${@:2}"
"$build/bench/checkpoint_benchmark"
