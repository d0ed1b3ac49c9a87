#!/bin/sh
# The Linux and the Windows console programs on the same inputs write the same bytes and end with
# the same statuses: import, years, export, formation, check and validate, on the sample Dovi file
# and on a generated forestry of 20,000 stands. Tables are compared with the write time in their
# header (bytes 0x60-0x63 of a .db) masked; reports and printed blocks with the working folder's
# path, which each system writes its own way, replaced by one token.
# Usage: sh scripts/windows_compare.sh WINDOWS_PROGRAM_FOLDER   (build-win64/bin; Wine's
# wrapper build-win64/wine-run beside it runs the programs)
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
WINDOWS_BIN=$(cd "$1" && pwd)
WINE_RUN=$(dirname "$WINDOWS_BIN")/wine-run
STANDS=${STANDS:-20000}

# The Linux programs, optimised, and the generator of the forestry (LINUX_BUILD names a build
# folder that has them already).
LINUX=${LINUX_BUILD:-$ROOT/build-compare}
if [ -z "$LINUX_BUILD" ]; then
    launcher=""
    command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
    cmake -S . -B build-compare -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        $launcher >/dev/null
    cmake --build build-compare --parallel --target dovi2tarvel-cli generate_forestry sprav_mdb \
        >/dev/null
fi
export ASAN_OPTIONS=detect_leaks=0

WORK=$(mktemp -d "${TMPDIR:-/tmp}/windows-compare-XXXXXX")
[ -n "$KEEP_COMPARE" ] || trap 'rm -rf "$WORK"' EXIT
"$LINUX/bench/generate_forestry" "$STANDS" "$WORK/forestry.txt" "$LINUX/bin/sprav.mdb" >/dev/null
cmp -s "$LINUX/bin/sprav.mdb" "$WINDOWS_BIN/sprav.mdb" ||
    { echo "compare: the Windows build's sprav.mdb differs from Linux's" >&2; exit 1; }

# run SYSTEM STEP ARGUMENTS...: one step of one system, its status recorded.
run() {
    system=$1 step=$2
    shift 2
    status=0
    if [ "$system" = linux ]; then
        "$LINUX/bin/dovi2tarvel-cli" --program-folder "$WORK/$system/program" "$@" \
            > "$WORK/$system/out/$step.stdout" 2>/dev/null || status=$?
    else
        "$WINE_RUN" "$WINDOWS_BIN/dovi2tarvel-cli.exe" --program-folder "$WORK/$system/program" \
            "$@" > "$WORK/$system/out/$step.stdout" 2>/dev/null || status=$?
    fi
    echo "$step $status" >> "$WORK/$system/statuses"
}

# texts SYSTEM STEP LOCALE ARGUMENTS...: a run without a program folder in a locale; its output,
# in which the default program folder becomes @BIN, and its status.
texts() {
    system=$1 step=$2 locale=$3
    shift 3
    status=0
    if [ "$system" = linux ]; then
        bin=$LINUX/bin
        LC_ALL=$locale "$bin/dovi2tarvel-cli" "$@" > "$WORK/text" 2>&1 || status=$?
    else
        bin=$(printf 'Z:%s' "$WINDOWS_BIN" | tr / '\\' | sed 's/\\/\\\\/g')
        LC_ALL=$locale "$WINE_RUN" "$WINDOWS_BIN/dovi2tarvel-cli.exe" "$@" > "$WORK/text" 2>&1 ||
            status=$?
    fi
    LC_ALL=C sed "s|$bin|@BIN|g" "$WORK/text" > "$WORK/$system/out/$step.text"
    echo "$step $status" >> "$WORK/$system/statuses"
}

for system in linux windows; do
    d=$WORK/$system
    mkdir -p "$d/program" "$d/out"
    cp "$LINUX/bin/sprav.mdb" "$d/program/"
    run $system import-sample import "$ROOT/data/samples/lesnichestvo_03.txt" "$d/out/les03.db" \
        --leshoz 50010203 --lesnich 3
    run $system years-sample years "$d/out/les03.db"
    year=$(cut -f2 "$d/out/years-sample.stdout" | grep -v '^9999' | head -n 1)
    run $system export-sample export "$d/out/les03.db" "${year:-0}" "$d/out/les03-export.txt" \
        --decimal-separator ,
    run $system form form "$ROOT/data/nsi" "$d/out/sprav"
    run $system check-sample check "$d/out/les03.db" "$d/out/sprav"
    run $system validate-sample validate "$ROOT/data/samples/lesnichestvo_03.txt"
    run $system import-forestry import "$WORK/forestry.txt" "$d/out/forestry.db" \
        --leshoz 50010203 --lesnich 3
    run $system years-forestry years "$d/out/forestry.db"
    year=$(cut -f2 "$d/out/years-forestry.stdout" | grep -v '^9999' | head -n 1)
    run $system export-forestry export "$d/out/forestry.db" "${year:-0}" \
        "$d/out/forestry-export.txt" --decimal-separator ,
    run $system check-forestry check "$d/out/forestry.db" "$d/out/sprav"
    # The program's own texts in the user's language and code pages: Wine gives a Windows
    # program the language and code pages of the locale it starts in.
    texts $system help-ru ru_RU.UTF-8 --encoding oem --help
    texts $system usage-ru ru_RU.UTF-8 --encoding ansi convert
    texts $system usage-c C convert
    # Reports kept beside the program are compared with the rest.
    mv "$d/program/reports" "$d/out/program-reports" 2>/dev/null || true
done

# The folders as each system writes them, /tmp/x/linux and Z:\tmp\x\windows, the sources'
# likewise, become tokens; in a Windows path the separators after the token become slashes.
windows_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}
normalise() {
    case "$1" in
        "$WORK/linux/"*)
            LC_ALL=C sed -e "s|$WORK/linux|@WORK|g" -e "s|$ROOT|@ROOT|g" "$1"
            ;;
        *)
            WORK_PATH=$(windows_path "$WORK/windows") ROOT_PATH=$(windows_path "$ROOT") \
                LC_ALL=C awk '
                function swap(path, token,    i, rest, j, tail) {
                    while ((i = index($0, path)) > 0) {
                        rest = substr($0, i + length(path))
                        j = match(rest, /[ \t\r]|$/)
                        tail = substr(rest, 1, j - 1)
                        gsub(/\\/, "/", tail)
                        $0 = substr($0, 1, i - 1) token tail substr(rest, j)
                    }
                }
                { swap(ENVIRON["WORK_PATH"], "@WORK"); swap(ENVIRON["ROOT_PATH"], "@ROOT"); print }
                ' "$1"
            ;;
    esac
}

failures=0
differ() {
    echo "compare: $*" >&2
    failures=$((failures + 1))
}
# The office's dictionary folders in --help are each system's own.
for system in linux windows; do
    LC_ALL=C sed -i -e '/^    [^ ].*dovi2tarvel.\{0,1\}$/d' "$WORK/$system/out/help-ru.text"
done
# Alike is not enough: Russian in the code page asked for.
iconv -f CP866 -t UTF-8 "$WORK/linux/out/help-ru.text" | grep -q '^коды завершения:$' ||
    differ "help-ru.text: no Russian in code page 866"
linux_files=$(cd "$WORK/linux/out" && find . -type f | sort)
windows_files=$(cd "$WORK/windows/out" && find . -type f | sort)
[ "$linux_files" = "$windows_files" ] ||
    differ "different files written: $(echo "$linux_files" | tr '\n' ' ') / $(echo "$windows_files" | tr '\n' ' ')"
cmp -s "$WORK/linux/statuses" "$WORK/windows/statuses" ||
    differ "different statuses: $(tr '\n' ' ' < "$WORK/linux/statuses") / $(tr '\n' ' ' < "$WORK/windows/statuses")"
compared=0
# Names hold blanks ("создание базы.txt"): one a line.
IFS='
'
for f in $linux_files; do
    a=$WORK/linux/out/$f b=$WORK/windows/out/$f
    [ -f "$b" ] || continue
    compared=$((compared + 1))
    case "$f" in
        *.db | *.DB)
            [ "$(stat -c %s "$a")" = "$(stat -c %s "$b")" ] || { differ "$f: sizes differ"; continue; }
            bytes=$(cmp -l "$a" "$b" | awk '$1 < 97 || $1 > 100' | wc -l)
            [ "$bytes" -eq 0 ] || differ "$f: $bytes bytes differ outside the write time"
            ;;
        *.txt | *.stdout)
            normalise "$a" > "$WORK/a" && normalise "$b" > "$WORK/b"
            cmp -s "$WORK/a" "$WORK/b" || differ "$f: $(cmp "$WORK/a" "$WORK/b" 2>&1 | head -n 1)"
            ;;
        *) cmp -s "$a" "$b" || differ "$f: $(cmp "$a" "$b" 2>&1 | head -n 1)" ;;
    esac
done
IFS=' 	
'
echo "Linux and Windows programs: $compared files and $(wc -l < "$WORK/linux/statuses") statuses" \
    "compared ($STANDS generated stands), $failures differences"
echo "statuses: $(tr '\n' ' ' < "$WORK/linux/statuses")"
[ "$failures" -eq 0 ]
