#!/bin/sh
# Installs what is needed, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs all tests.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DEDITION=2 >/dev/null
cmake --build build-test --parallel
cd build-test
ctest --output-on-failure --parallel 2
