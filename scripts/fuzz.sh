#!/bin/sh
# Builds the libFuzzer targets of fuzz/ with clang and runs each for a bounded time (seconds per
# target: first argument or FUZZ_SECONDS, default 30). Inputs kept in fuzz/regressions/<target>/
# run first. Fails on any crash, hang, out-of-memory or sanitizer report; what was found is left
# in build-fuzz/artifacts/<target>/.
set -e
cd "$(dirname "$0")/.."
seconds=${1:-${FUZZ_SECONDS:-30}}
sh scripts/setup.sh fuzz
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz --target fuzz_all --parallel 2

samples=../shared/samples
root=$(pwd)
work=$root/build-fuzz/corpus

# Seeds: the repository's own corpus, the shipped data, our dictionary if a build made one, and
# the real files written by other programs when that folder is there.
seed() {  # target, files...
    target=$1
    shift
    mkdir -p "$work/$target"
    for f in "$@"; do
        [ -f "$f" ] && cp "$f" "$work/$target/seed_$(basename "$f" | tr -c 'A-Za-z0-9._\n' '_')"
    done
    return 0
}
seed fuzz_dovi_file fuzz/corpus/dovi_file/* data/samples/*.txt
seed fuzz_dovi_import fuzz/corpus/dovi_file/* data/samples/*.txt
seed fuzz_value_book fuzz/corpus/value_book/* data/nsi/*.000
seed fuzz_sql_statement fuzz/corpus/sql_statement/*
seed fuzz_paradox_table fuzz/corpus/paradox_table/* "$samples"/paradox/*.DB "$samples"/paradox/*.db \
    "$samples"/paradox/fields/*.db
seed fuzz_access_file build-test/bin/sprav.mdb build/bin/sprav.mdb "$samples"/access/*.mdb
# A sample table with its index and memo files as one input.
if [ -f "$samples/paradox/fields/memo.db" ]; then
    { cat "$samples/paradox/fields/memo.db"; printf '\n--px--\n'; cat "$samples/paradox/fields/memo.px"
      printf '\n--mb--\n'; cat "$samples/paradox/fields/memo.mb"; } > "$work/fuzz_paradox_table/seed_memo_all"
fi

max_len() {
    case $1 in
        fuzz_sql_statement) echo 2048 ;;
        fuzz_dovi_file | fuzz_dovi_import | fuzz_value_book) echo 32768 ;;
        # Room for the smaller real Access samples whole.
        fuzz_access_file) echo 327680 ;;
        *) echo 262144 ;;
    esac
}

failed=""
for target in fuzz_dovi_file fuzz_dovi_import fuzz_value_book fuzz_paradox_table fuzz_access_file fuzz_sql_statement; do
    bin=$root/build-fuzz/fuzz/$target
    artifacts=$root/build-fuzz/artifacts/$target
    mkdir -p "$artifacts"
    name=${target#fuzz_}
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    if [ -d "fuzz/regressions/$name" ] && [ -n "$(ls "fuzz/regressions/$name")" ]; then
        echo "== $target: kept inputs"
        if ! "$bin" -timeout=10 -rss_limit_mb=2048 fuzz/regressions/"$name"/* >"$artifacts/regressions.log" 2>&1; then
            tail -n 40 "$artifacts/regressions.log"
            failed="$failed $target(kept)"
            continue
        fi
    fi
    echo "== $target: ${seconds}s"
    if "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$(max_len "$target")" \
        -artifact_prefix="$artifacts/" -print_final_stats=1 "$work/$target" >"$artifacts/run.log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^Done' "$artifacts/run.log" || true
    else
        tail -n 60 "$artifacts/run.log"
        failed="$failed $target"
    fi
done
if [ -n "$failed" ]; then
    echo "Fuzzing found faults in:$failed (inputs in build-fuzz/artifacts/)" >&2
    exit 1
fi
echo "Fuzzing: no faults found."
