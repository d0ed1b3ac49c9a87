#!/bin/sh
# Builds the Windows x64 programs on Debian 12 (as root): Qt for Windows from Debian's qtbase
# source into ~/.cache/dovi2tarvel (once; reused later), then our programs with
# cmake/mingw-w64-x86_64.cmake, and in the repository's folder
#     dovi2tarvel-<version>-win64.zip       unpack and run
#     dovi2tarvel-<version>-setup.exe       the installer (NSIS, in Russian)
# `sh scripts/windows.sh test` also builds the tests and runs them under Wine, compares the
# Linux and Windows console programs' outputs, and installs and removes the installer silently;
# `test-if-cached` does the same only when Qt for Windows is already built (CI).
# EDITION picks the window's edition (default 2).
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
CACHE=${DOVI2TARVEL_CACHE:-$HOME/.cache/dovi2tarvel}
QT_VERSION=6.4.2
QT=$CACHE/qt-$QT_VERSION-win64
BUILD=$ROOT/build-win64
VERSION=$(sed -n 's/^project(dovi2tarvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
NAME=dovi2tarvel-$VERSION
MODE=${1:-build}
case "$MODE" in
    build | test) ;;
    # CI: the tests only when Qt for Windows is already built (its first build is too long).
    test-if-cached)
        if [ ! -f "$QT/lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake" ]; then
            echo "Windows build and tests left out: no Qt for Windows in $QT (sh scripts/windows.sh builds it once)"
            exit 0
        fi
        MODE=test
        ;;
    *) echo "usage: sh scripts/windows.sh [test]" >&2; exit 64 ;;
esac
# Wine keeps its own Windows in a folder of ours, not in the user's ~/.wine.
export WINEPREFIX=${WINEPREFIX:-$CACHE/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

sh scripts/setup.sh windows

qt_present() {
    [ -f "$QT/lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake" ] &&
        [ -f "$QT/plugins/platforms/qwindows.dll" ] && [ -f "$QT/bin/Qt6Test.dll" ]
}

minutes() {
    echo "$(($(cat "$2") - $(cat "$1")))" | awk '{ printf "%d min %02d s", $1 / 60, $1 % 60 }'
}

# Debian's source of qtbase needs a deb-src entry: a copy of the archive's own entries.
add_source_entries() {
    if grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return
    fi
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            > /etc/apt/sources.list.d/dovi2tarvel-src.sources
    else
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > /etc/apt/sources.list.d/dovi2tarvel-src.list
    fi
    apt-get update -qq
}

# Core, Gui, Widgets, Test, the windows platform plugin and the Windows styles; shared, with the
# bundled zlib, pcre2, freetype, harfbuzz, png and jpeg; no ICU, OpenGL, tablet (Debian's
# source lacks its header), SQL, network or D-Bus.
build_qt() {
    echo "Building Qt $QT_VERSION for Windows into $QT (once; about an hour on 2 cores)"
    mkdir -p "$CACHE/src"
    date +%s > "$CACHE/qt-build-start"
    add_source_entries
    source_dir=$CACHE/src/qtbase-everywhere-src-$QT_VERSION
    if [ ! -d "$source_dir" ]; then
        (cd "$CACHE/src" && apt-get source --download-only qt6-base &&
            tar xf qt6-base_$QT_VERSION+dfsg.orig.tar.xz)
    fi
    rm -rf "$CACHE/qt-build"
    mkdir -p "$CACHE/qt-build"
    (cd "$CACHE/qt-build" && cmake -S "$source_dir" -B . -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$QT" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DFEATURE_tabletevent=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_icu=OFF \
        -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_concurrent=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
        -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
        -DFEATURE_xml=OFF -DFEATURE_testlib=ON >/dev/null)
    nice cmake --build "$CACHE/qt-build" --parallel
    cmake --install "$CACHE/qt-build" >/dev/null
    date +%s > "$CACHE/qt-build-end"
    echo "Qt for Windows built in $(minutes "$CACHE/qt-build-start" "$CACHE/qt-build-end")"
}

if qt_present; then
    taken=""
    [ -f "$CACHE/qt-build-start" ] && [ -f "$CACHE/qt-build-end" ] &&
        taken=" (its first build took $(minutes "$CACHE/qt-build-start" "$CACHE/qt-build-end"))"
    echo "Qt for Windows: $QT$taken"
else
    build_qt
fi

# A new Wine prefix is made once, before programs of the build and the tests start in parallel.
# A server left running in our prefix (an interrupted run) would keep the wait below from ending.
wineserver -k 2>/dev/null || true
wineboot -i >/dev/null 2>&1 || true
wineserver -w

launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
testing=OFF
[ "$MODE" = test ] && testing=ON
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_FIND_ROOT_PATH="$QT" -DCMAKE_PREFIX_PATH="$QT" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DEDITION="${EDITION:-2}" -DBUILD_BENCHMARKS=OFF \
    -DBUILD_TESTING=$testing $launcher >/dev/null
cmake --build "$BUILD" --parallel

# The installer's lists of what it installs and, so that the uninstaller removes just that,
# what the uninstaller removes: folders last, deepest first, each only when left empty. The
# dictionary beside the program is left to the installer (packaging/windows/installer.nsi).
write_installer_lists() {
    (cd "$1" && find . -type d | sed 's|^\.||; s|^/||' | sort) > "$2/folders"
    : > "$2/install-files.nsh"
    : > "$2/uninstall-files.nsh"
    while read -r folder; do
        windows=$(printf '%s' "${folder:+\\$folder}" | tr / '\\')
        printf 'SetOutPath "$INSTDIR%s"\n' "$windows" >> "$2/install-files.nsh"
        find "$1/$folder" -maxdepth 1 -type f | sort | while read -r file; do
            # The installer itself decides about the program folder's dictionary.
            [ -z "$folder" ] && [ "$(basename "$file")" = sprav.mdb ] && continue
            printf 'File "%s"\n' "$file" >> "$2/install-files.nsh"
            printf 'Delete "$INSTDIR%s\\%s"\n' "$windows" "$(basename "$file")" \
                >> "$2/uninstall-files.nsh"
        done
    done < "$2/folders"
    sort -r "$2/folders" | grep -v '^$' | tr / '\\' | while read -r folder; do
        printf 'RMDir "$INSTDIR\\%s"\n' "$folder" >> "$2/uninstall-files.nsh"
    done
}

# The unpack-and-run folder, then the zip and the installer made from it.
STAGE=$BUILD/stage/$NAME-win64
rm -rf "$BUILD/stage"
cmake --install "$BUILD" --prefix "$STAGE" --strip >/dev/null
rm -f "$NAME-win64.zip" "$NAME-setup.exe"
(cd "$BUILD/stage" && zip -qr9X "$ROOT/$NAME-win64.zip" "$NAME-win64")
write_installer_lists "$STAGE" "$BUILD/stage"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$VERSION" -DSTAGE="$STAGE" -DFILES="$BUILD/stage" \
    -DOUTFILE="$ROOT/$NAME-setup.exe" -DESTIMATED_KB="$(du -sk "$STAGE" | cut -f1)" \
    packaging/windows/installer.nsi
echo "Built $ROOT/$NAME-win64.zip ($(stat -c %s "$NAME-win64.zip") bytes)"
echo "Built $ROOT/$NAME-setup.exe ($(stat -c %s "$NAME-setup.exe") bytes)"

if [ "$MODE" = test ]; then
    # The tests under Wine (CTest runs each through build-win64/wine-run), the comparison with
    # the Linux programs and the installer; each runs whatever the others gave.
    # Wine's own services outlive the program that starts them and keep its output open: started
    # by a test, they would hold CTest's pipes until its timeout. Start them here, away from
    # those pipes, in a server that stays until the tests end.
    failed=""
    wineserver -p
    wineboot >/dev/null 2>&1 </dev/null || true
    (cd "$BUILD" && ctest --output-on-failure --parallel 2) || failed="$failed tests"
    wineserver -k || true
    wineserver -w
    sh scripts/windows_compare.sh "$BUILD/bin" || failed="$failed comparison"
    sh scripts/windows_installer_test.sh "$ROOT/$NAME-setup.exe" || failed="$failed installer"
    if [ -n "$failed" ]; then
        echo "Windows: failed:$failed" >&2
        exit 1
    fi
fi
