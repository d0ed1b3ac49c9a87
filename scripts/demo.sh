#!/bin/sh
# Builds the program, then runs every operation on the shipped sample data only, through the
# console front end, in a temporary folder: import the sample Dovi file, list its years, export
# the first year, form reference tables from the sample value books, check the database.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build build --parallel
work=$(mktemp -d)
cp build/bin/sprav.mdb "$work/"
cp -r build/bin/nsi "$work/nsi"
cli="build/bin/dovi2tarvel-cli --program-folder $work"

# Status 1 means the step succeeded and recorded faults in its report; only 2 and above stop.
step() {
    echo "== $*"
    set +e
    "$@"
    status=$?
    set -e
    echo "== status $status"
    [ "$status" -le 1 ] || exit "$status"
}

step $cli import data/samples/lesnichestvo_03.txt "$work/les03.db" --leshoz 50010203 --lesnich 3
step $cli years "$work/les03.db"
year=$($cli years "$work/les03.db" 2>/dev/null | head -n 1 | cut -f 2)
step $cli export "$work/les03.db" "$year" "$work/les03_export.txt"
step $cli form "$work/nsi" "$work/sprav"
step $cli check "$work/les03.db" "$work/sprav"
echo "Everything is in $work (reports in $work/reports)."
