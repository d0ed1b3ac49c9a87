#!/bin/sh
# Installs what is needed, builds the program folder and starts the window.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build build --parallel
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ] && [ -z "$QT_QPA_PLATFORM" ]; then
    echo "No display found. Start the window on a virtual one with:" >&2
    echo "  apt-get install -y xvfb && xvfb-run -a build/bin/dovi2tarvel" >&2
    exit 1
fi
exec build/bin/dovi2tarvel
