#!/bin/sh
# Builds the Windows programs on Debian 12 (as root), for each architecture Qt for Windows from
# Debian's qtbase source into ~/.cache/dovi2tarvel (once; reused later), then our programs, and in
# the repository's folder
#     dovi2tarvel-<version>-win64.zip       unpack and run (64-bit Windows 10 and 11; Qt 6)
#     dovi2tarvel-<version>-setup.exe       its installer (NSIS, in Russian)
#     dovi2tarvel-<version>-win64.msi       the same for Windows Installer (msiexec, group policy)
#     dovi2tarvel-<version>-win32.zip       unpack and run (Windows 7 and later, 32- and 64-bit;
#                                           Qt 5.15)
#     dovi2tarvel-<version>-win32-setup.exe its installer
#     dovi2tarvel-<version>-win*-debug.zip  our programs' line tables, for gdb
# `sh scripts/windows.sh test` also builds the tests and runs them under Wine (the 32-bit ones in
# a 32-bit Windows of Wine's), compares the Linux and Windows console programs' outputs, and
# installs and removes the installers silently; `test-if-cached` does the same for each
# architecture whose Qt for Windows is already built (CI). ARCHES picks the architectures (default
# "win64 win32"); EDITION the window's edition (default 2).
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
CACHE=${DOVI2TARVEL_CACHE:-$HOME/.cache/dovi2tarvel}
VERSION=$(sed -n 's/^project(dovi2tarvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
NAME=dovi2tarvel-$VERSION
MODE=${1:-build}
ONLY_CACHED=""
case "$MODE" in
    build | test) ;;
    # CI: the tests only where Qt for Windows is already built (its first build is too long).
    test-if-cached) ONLY_CACHED=1 MODE=test ;;
    *) echo "usage: sh scripts/windows.sh [test|test-if-cached]" >&2; exit 64 ;;
esac
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

sh scripts/setup.sh windows

# What differs between the architectures: Qt, the compilers, the build folder, Wine's prefix (a
# 32-bit Windows for the 32-bit programs), the installer's target and the names of the downloads.
select_arch() {
    ARCH_NAME=$1
    case "$1" in
        win64)
            QT_MAJOR=6 QT_VERSION=6.4.2 CROSS=x86_64-w64-mingw32 NSIS_ARCH=x64
            TOOLCHAIN=cmake/mingw-w64-x86_64.cmake
            PREFIX=${WINEPREFIX_WIN64:-$CACHE/wine} WINE_ARCH=win64
            SETUP=$NAME-setup.exe MSI=$NAME-win64.msi
            ;;
        win32)
            QT_MAJOR=5 QT_VERSION=5.15.8 CROSS=i686-w64-mingw32 NSIS_ARCH=x86
            TOOLCHAIN=cmake/mingw-w64-i686.cmake
            PREFIX=${WINEPREFIX_WIN32:-$CACHE/wine32} WINE_ARCH=win32
            SETUP=$NAME-win32-setup.exe MSI=""
            ;;
        *) echo "unknown architecture $1 (win64 or win32)" >&2; exit 64 ;;
    esac
    QT=$CACHE/qt-$QT_VERSION-$1
    BUILD=$ROOT/build-$1
    export WINEPREFIX=$PREFIX WINEARCH=$WINE_ARCH
}

qt_present() {
    [ -f "$QT/lib/cmake/Qt${QT_MAJOR}Widgets/Qt${QT_MAJOR}WidgetsConfig.cmake" ] &&
        [ -f "$QT/plugins/platforms/qwindows.dll" ] && [ -f "$QT/bin/Qt${QT_MAJOR}Test.dll" ]
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

# Debian's source package $1 unpacked into $CACHE/src (its orig tarball, as Qt publishes it).
qt_source() {
    add_source_entries
    mkdir -p "$CACHE/src"
    source_dir=$CACHE/src/qtbase-everywhere-src-$QT_VERSION
    if [ ! -d "$source_dir" ]; then
        (cd "$CACHE/src" && apt-get source --download-only "$1" &&
            tar xf "${1}_$QT_VERSION+dfsg.orig.tar.xz")
    fi
}

# Qt 6: Core, Gui, Widgets, Test, the windows platform plugin and the Windows styles; shared, with
# the bundled zlib, pcre2, freetype, harfbuzz, png and jpeg; no ICU, OpenGL, tablet (Debian's
# source lacks its header), SQL, network or D-Bus.
build_qt6() {
    qt_source qt6-base
    rm -rf "$CACHE/qt-build"
    mkdir -p "$CACHE/qt-build"
    (cd "$CACHE/qt-build" && cmake -S "$source_dir" -B . -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/$TOOLCHAIN" \
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
}

# Qt 5.15 the same way, with its own configure (qmake) and its own host tools (moc, rcc, uic),
# which it builds for Linux first.
build_qt5() {
    qt_source qtbase-opensource-src
    rm -rf "$CACHE/qt5-build"
    mkdir -p "$CACHE/qt5-build"
    (cd "$CACHE/qt5-build" && "$source_dir/configure" -prefix "$QT" -xplatform win32-g++ \
        -device-option CROSS_COMPILE=$CROSS- -opensource -confirm-license -release -shared \
        -nomake examples -nomake tests -no-opengl -no-icu -no-dbus -no-feature-network \
        -no-feature-concurrent -no-feature-tabletevent -qt-zlib -qt-pcre -qt-freetype \
        -qt-harfbuzz -qt-libpng -qt-libjpeg -silent >/dev/null)
    (cd "$CACHE/qt5-build" && nice make -j"$(nproc)" >/dev/null && make install >/dev/null)
}

# Qt for Windows of the selected architecture, built once; its build time is told each run.
ensure_qt() {
    stamp=$CACHE/qt-$QT_VERSION-$ARCH_NAME.build
    if ! qt_present; then
        echo "Building Qt $QT_VERSION for Windows ($ARCH_NAME) into $QT (once; about an hour on 2 cores)"
        date +%s > "$stamp-start"
        "build_qt$QT_MAJOR"
        date +%s > "$stamp-end"
    fi
    taken=""
    [ -f "$stamp-start" ] && [ -f "$stamp-end" ] &&
        taken=" (its build took $(minutes "$stamp-start" "$stamp-end"))"
    echo "Qt for Windows ($ARCH_NAME): $QT$taken"
}

# A new Wine prefix is made once, before programs of the build and the tests start in parallel.
# A server left running in the prefix (an interrupted run) would keep the wait below from ending.
# A 64-bit prefix made before Wine's 32-bit part was installed lacks its 32-bit half (syswow64),
# and Wine then starts no program in it at all: it is made anew (it holds nothing of ours).
prepare_wine() {
    wineserver -k 2>/dev/null || true
    if [ "$WINEARCH" = win64 ] && [ -d "$WINEPREFIX/drive_c/windows" ] &&
        [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
        echo "Wine's prefix $WINEPREFIX lacks its 32-bit part: made anew"
        rm -rf "$WINEPREFIX"
    fi
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
}

build_programs() {
    launcher=""
    command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
    testing=OFF
    [ "$MODE" = test ] && testing=ON
    host=""
    [ "$QT_MAJOR" = 6 ] &&
        host="-DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake"
    # shellcheck disable=SC2086
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DQT_MAJOR="$QT_MAJOR" \
        -DCMAKE_FIND_ROOT_PATH="$QT" -DCMAKE_PREFIX_PATH="$QT" $host \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O3 -DNDEBUG -g1" \
        -DEDITION="${EDITION:-2}" -DBUILD_BENCHMARKS=OFF \
        -DBUILD_TESTING=$testing $launcher >/dev/null
    cmake --build "$BUILD" --parallel
}

# The installer's lists of the folder STAGE ($1), written into $2: what it installs; what the
# uninstaller removes: files, then folders deepest first, each only when left empty; the files and
# folders this version ships, which an upgrade keeps of what the earlier one listed; and that list,
# uninstall.lst, for the next upgrade (UTF-16, as NSIS reads any name). The dictionary beside the
# program is left to the installer (packaging/windows/installer.nsi).
write_installer_lists() {
    (cd "$1" && find . -type d | sed 's|^\.||; s|^/||' | sort) > "$2/folders"
    (cd "$1" && find . -type f ! -path ./sprav.mdb | sed 's|^\./||' | sort) > "$2/files"
    : > "$2/install-files.nsh"
    while read -r folder; do
        printf 'SetOutPath "$INSTDIR%s"\n' "$(printf '%s' "${folder:+\\$folder}" | tr / '\\')" \
            >> "$2/install-files.nsh"
        find "$1/$folder" -maxdepth 1 -type f ! -path "$1/sprav.mdb" | sort |
            sed 's|.*|File "&"|' >> "$2/install-files.nsh"
    done < "$2/folders"
    tr / '\\' < "$2/files" | sed 's|.*|Delete /REBOOTOK "$INSTDIR\\&"|' > "$2/uninstall-files.nsh"
    sort -r "$2/folders" | grep -v '^$' | tr / '\\' |
        sed 's|.*|!insertmacro REMOVE_FOLDER "$INSTDIR\\&"|' > "$2/uninstall-folders.nsh"
    { cat "$2/files"; sort -r "$2/folders" | grep -v '^$' | sed 's|$|/|'; } | tr / '\\' > "$2/shipped"
    sed 's|.*|StrCmp $R1 "&" shipped|' "$2/shipped" > "$2/shipped.nsh"
    sed 's|$|\r|' "$2/shipped" | iconv -f UTF-8 -t UTF-16LE > "$2/uninstall.lst"
}

# The Windows Installer package's components of the folder $1 below $2 ('' for the folder
# itself), with paths relative to the folder's parent: one per file, nested in their folders; the
# window and the help carry the Start-menu entries (named in make_msi). Each component's reference
# goes to the file $3.
wxs_id() {
    printf '%s' "$1" | tr -c 'A-Za-z0-9_.' _
}
write_msi_components() {
    find "$1/$2" -mindepth 1 -maxdepth 1 -type f | sort | while read -r file; do
        relative=${file#"$1"/}
        id=$(wxs_id "$relative")
        case "$relative" in
            dovi2tarvel.exe) entry='ProgramEntry" WorkingDirectory="INSTALLDIR' ;;
            help/import.htm) entry=HelpEntry ;;
            *) entry= ;;
        esac
        printf '<Component Id="c_%s" Guid="*" Win64="yes">' "$id"
        printf '<File Id="f_%s" Source="%s/%s" KeyPath="yes">' "$id" "${1##*/}" "$relative"
        [ -n "$entry" ] && printf '<Shortcut Id="%s" Directory="MenuFolder" Name="-"/>' "$entry"
        printf '</File></Component>\n'
        printf '<ComponentRef Id="c_%s"/>\n' "$id" >> "$3"
    done
    find "$1/$2" -mindepth 1 -maxdepth 1 -type d | sort | while read -r folder; do
        relative=${folder#"$1"/}
        printf '<Directory Id="d_%s" Name="%s">\n' "$(wxs_id "$relative")" "${folder##*/}"
        write_msi_components "$1" "$relative" "$3"
        printf '</Directory>\n'
    done
}

# The Windows Installer package of the folder $1 as $2, version $3. wixl writes the tables without
# a code page, losing any text but ASCII, and makes advertised shortcuts only: the code page, the
# Russian texts and plain shortcuts are set here afterwards. Windows Installer would replace an
# unchanged file and keep a changed one (modified after it was created), but removes every file of
# its own and takes an office's dictionary copied in over the sample (the copy keeps its older
# modification time) for unchanged: the dictionary's component is made Permanent (16) and
# NeverOverwrite (128) besides 64-bit (256), so that no upgrade or removal touches one present.
make_msi() {
    lists=$(dirname "$1")
    echo '<Include>' > "$lists/msi-files.wxi"
    echo '<Include>' > "$lists/msi-refs.wxi"
    write_msi_components "$1" "" "$lists/msi-refs.wxi" >> "$lists/msi-files.wxi"
    echo '</Include>' >> "$lists/msi-files.wxi"
    echo '</Include>' >> "$lists/msi-refs.wxi"
    cp packaging/windows/dovi2tarvel.ico "$lists"
    printf '\r\n\r\n1251\t_ForceCodepage\r\n' > "$lists/_ForceCodepage.idt"
    rm -f "$2"
    # wixl finds files by relative paths only.
    (cd "$lists" && wixl -a x64 -D Version="$3" -D Files=. -D Icon=dovi2tarvel.ico -o "$2" \
        "$ROOT/packaging/windows/dovi2tarvel.wxs")
    msibuild "$2" -s "dovi2tarvel $3" dovi2tarvel "x64;1049"
    msibuild "$2" -i "$lists/_ForceCodepage.idt" \
        -q "UPDATE \`Shortcut\` SET \`Name\` = 'Конвертер dovi2tarvel', \`Target\` = '[#f_dovi2tarvel.exe]' WHERE \`Shortcut\` = 'ProgramEntry'" \
        -q "UPDATE \`Shortcut\` SET \`Name\` = 'Справка', \`Target\` = '[#f_help_import.htm]' WHERE \`Shortcut\` = 'HelpEntry'" \
        -q "UPDATE \`LaunchCondition\` SET \`Description\` = 'Уже установлена более новая версия dovi2tarvel.'" \
        -q "UPDATE \`Component\` SET \`Attributes\` = 400 WHERE \`Component\` = 'c_sprav.mdb'"
    # An UPDATE that finds nothing says nothing: the dictionary's protection is checked.
    if [ -f "$1/sprav.mdb" ] && ! msiinfo export "$2" Component |
        awk -F '\t' '$1 == "c_sprav.mdb" && $4 == 400 { found = 1 } END { exit !found }'; then
        echo "$2: the component of sprav.mdb is not Permanent and NeverOverwrite" >&2
        exit 1
    fi
}

# The installer of the folder $1 as $2, version $3, its lists written beside the folder.
make_installer() {
    write_installer_lists "$1" "$(dirname "$1")"
    makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$3" -DSTAGE="$1" -DFILES="$(dirname "$1")" \
        -DARCH="$NSIS_ARCH" \
        -DOUTFILE="$2" -DESTIMATED_KB="$(du -sk "$1" | cut -f1)" packaging/windows/installer.nsi
}

# The unpack-and-run folder, stripped: cmake --install --strip strips our programs and the DLLs
# (packaging/windows.cmake). Our programs' line tables (-g1, cheap: no variables) go beside the
# zip, in $NAME-$ARCH_NAME-debug.zip; gdb finds them by the name each stripped program carries.
# The zip, the installer and (64-bit) the MSI are made from that folder.
package_programs() {
    STAGE=$BUILD/stage/$NAME-$ARCH_NAME
    rm -rf "$BUILD/stage" "$BUILD/debug"
    cmake --install "$BUILD" --prefix "$STAGE" --strip >/dev/null
    mkdir -p "$BUILD/debug"
    for program in dovi2tarvel dovi2tarvel-cli; do
        $CROSS-objcopy --only-keep-debug "$BUILD/bin/$program.exe" "$BUILD/debug/$program.debug"
        $CROSS-objcopy --add-gnu-debuglink="$BUILD/debug/$program.debug" "$STAGE/$program.exe"
    done
    zips="$NAME-$ARCH_NAME.zip $NAME-$ARCH_NAME-debug.zip"
    # shellcheck disable=SC2086
    rm -f $zips "$SETUP" ${MSI:+"$MSI"}
    (cd "$BUILD/stage" && zip -qr9X "$ROOT/$NAME-$ARCH_NAME.zip" "$NAME-$ARCH_NAME")
    (cd "$BUILD/debug" && zip -qr9X "$ROOT/$NAME-$ARCH_NAME-debug.zip" .)
    make_installer "$STAGE" "$ROOT/$SETUP" "$VERSION"
    [ -z "$MSI" ] || make_msi "$STAGE" "$ROOT/$MSI" "$VERSION"
    for built in $zips "$SETUP" $MSI; do
        echo "Built $ROOT/$built ($(stat -c %s "$built") bytes)"
    done
    echo "The $ARCH_NAME zip unpacks to $(du -sb "$STAGE" | cut -f1) bytes"
}

# The tests under Wine (CTest runs each through build-*/wine-run), the comparison with the Linux
# programs and the installer; each runs whatever the others gave. Failures go into $failed.
test_programs() {
    # Wine's own services outlive the program that starts them and keep its output open: started
    # by a test, they would hold CTest's pipes until its timeout. Start them here, away from
    # those pipes, in a server that stays until the tests end.
    wineserver -p
    wineboot >/dev/null 2>&1 </dev/null || true
    (cd "$BUILD" && ctest --output-on-failure --parallel 2) || failed="$failed $ARCH_NAME-tests"
    wineserver -k || true
    wineserver -w
    sh scripts/windows_compare.sh "$BUILD/bin" || failed="$failed $ARCH_NAME-comparison"
    # The earlier version the upgrades start from: the same folder with a file and a folder more.
    EARLIER=$BUILD/earlier/$NAME-$ARCH_NAME
    rm -rf "$BUILD/earlier"
    mkdir -p "$EARLIER/earlier"
    cp -r "$STAGE/." "$EARLIER"
    echo earlier > "$EARLIER/earlier.dll"
    echo earlier > "$EARLIER/earlier/earlier.txt"
    make_installer "$EARLIER" "$BUILD/earlier/earlier-installer.exe" 0.1
    msi=- earlier_msi=-
    if [ -n "$MSI" ]; then
        msi=$ROOT/$MSI earlier_msi=$BUILD/earlier/earlier.msi
        make_msi "$EARLIER" "$earlier_msi" 0.1
    fi
    ARCH=$NSIS_ARCH sh scripts/windows_installer_test.sh "$ROOT/$SETUP" "$msi" \
        "$BUILD/earlier/earlier-installer.exe" "$earlier_msi" || failed="$failed $ARCH_NAME-installer"
    # The 32-bit installer on a 64-bit Windows (the x64 programs' prefix): into "Program Files
    # (x86)".
    if [ "$ARCH_NAME" = win32 ]; then
        (
            setup=$ROOT/$SETUP earlier=$BUILD/earlier/earlier-installer.exe
            select_arch win64
            prepare_wine
            ARCH=x86 sh scripts/windows_installer_test.sh "$setup" - "$earlier" -
        ) || failed="$failed win32-installer-on-win64"
    fi
}

failed=""
for arch in ${ARCHES:-win64 win32}; do
    select_arch "$arch"
    if [ -n "$ONLY_CACHED" ] && ! qt_present; then
        echo "Windows $arch build and tests left out: no Qt for Windows in $QT (sh scripts/windows.sh builds it once)"
        continue
    fi
    ensure_qt
    prepare_wine
    build_programs
    package_programs
    [ "$MODE" != test ] || test_programs
done
if [ -n "$failed" ]; then
    echo "Windows: failed:$failed" >&2
    exit 1
fi
