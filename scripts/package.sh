#!/bin/sh
# Builds the Debian package dovi2tarvel_<version>_<architecture>.deb in the repository's folder:
# the optimised programs, the program folder's data, desktop entry, icon and manual page. The
# edition of the window is EDITION (default 2). Install it with
#     apt-get install ./dovi2tarvel_*.deb
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh package
desktop-file-validate packaging/dovi2tarvel.desktop
launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DBUILD_BENCHMARKS=OFF -DEDITION="${EDITION:-2}" $launcher >/dev/null
cmake --build build-package --parallel
rm -f build-package/dovi2tarvel_*.deb
(cd build-package && cpack -G DEB)
deb=$(cd build-package && ls dovi2tarvel_*.deb)
cp "build-package/$deb" .
# An office keeps its own dictionary in /etc/dovi2tarvel: were the package to own anything
# there, dpkg would replace it on upgrade and remove it with the package.
if dpkg-deb --contents "$deb" | grep -q ' \./etc/'; then
    echo "the package must own nothing in /etc" >&2
    exit 1
fi
dpkg-deb --field "$deb" Package Version Architecture Depends
echo "Built $(pwd)/$deb"
