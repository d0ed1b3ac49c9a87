#!/bin/sh
# Installs the Debian packages the build, the program and the tests need.
set -e
PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev \
  pxlib-dev fonts-dejavu-core strace"
# mdb-export and mdb-tables: the outside reader the tests compare our Access reader with.
PACKAGES="$PACKAGES mdbtools"
# Qt's own Russian texts for its dialogs, buttons and menus (the window works without them).
PACKAGES="$PACKAGES qt6-translations-l10n"
# The console program's translations: lrelease and lupdate, and the CMake package
# Qt6LinguistTools that runs them (also for the Windows build, as a host tool).
PACKAGES="$PACKAGES qt6-l10n-tools qt6-tools-dev"
# The fuzz targets need clang and its libFuzzer runtime (scripts/fuzz.sh).
[ "$1" = "fuzz" ] && PACKAGES="$PACKAGES clang libclang-rt-14-dev"
# The Debian package (scripts/package.sh): dpkg-shlibdeps and file compute its dependencies,
# desktop-file-validate checks the desktop entry.
[ "$1" = "package" ] && PACKAGES="$PACKAGES dpkg-dev file desktop-file-utils"
# The build against Qt 5.15 (scripts/test-qt5.sh): its headers and Qt's Russian texts for it.
[ "$1" = "qt5" ] && PACKAGES="$PACKAGES qtbase5-dev qttranslations5-l10n"
# The Windows programs (scripts/windows.sh): the MinGW-w64 cross compilers, Wine to run the
# tests, NSIS for the installer, wixl and msitools for the MSI, zip, what Qt's source needs to be
# fetched and unpacked, and a virtual display with xwininfo for the window the tests start.
[ "$1" = "windows" ] && PACKAGES="$PACKAGES g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  wine nsis wixl msitools zip xz-utils xvfb xauth x11-utils"
# The 32-bit programs: the i686 cross compilers, Qt 5's Russian texts, lrelease for the console
# program's (Qt 6's serves Qt 5 too), and Wine's 32-bit part, which needs i386 packages.
if [ "$1" = "windows" ]; then
    PACKAGES="$PACKAGES g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix qttranslations5-l10n \
      wine32:i386"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        SUDO=""
        [ "$(id -u)" -ne 0 ] && SUDO=sudo
        $SUDO dpkg --add-architecture i386
        $SUDO apt-get update -qq
    fi
fi
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
