#!/bin/sh
# Builds everything against Qt 5.15 (the Qt of the programs for older Windows) in build-qt5, a
# Debug build without sanitizers, and runs all tests: what only Qt 6 has shows up here at once.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh qt5
launcher=""
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
cmake -S . -B build-qt5 -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=OFF -DEDITION=2 -DQT_MAJOR=5 \
    $launcher >/dev/null
cmake --build build-qt5 --parallel
cd build-qt5
ctest --output-on-failure --parallel 2
