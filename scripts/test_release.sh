#!/bin/sh
# Builds everything optimised and without sanitizers, the configuration the package and
# scripts/run.sh build, and runs all tests once: a fault that optimisation or the timing of an
# uninstrumented build brings out shows here, not only in the users' hands.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DEDITION=2 \
      -DBUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-release --parallel
cd build-release
# The fault-injection runs drive the console program through thousands of runs; the sanitized
# suite runs them already, and CI's time is better spent elsewhere.
ctest --output-on-failure --parallel 2 -E '^fault_injection_'

