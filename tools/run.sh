#!/bin/sh
# SPDX-License-Identifier: MIT
# Starts Pictoria from the build directory. Without a display it shows what
# the programs do on the terminal instead: the demo picture converted by
# pictoria-convert, in characters every terminal draws two columns wide.
BUILD=${1:-build}
if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
    exec "$BUILD/Pictoria"
fi

out="$BUILD/demo-coffee.txt"
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset), so the windows cannot open."
echo "Here is demo/coffee.jpg as a text picture instead, converted by pictoria-convert:"
echo
"$BUILD/pictoria-convert" demo/coffee.jpg --cell 16 -o "$out" -q || exit $?
"$BUILD/pictoria-convert" demo/coffee.jpg --cell 16 --terminal -o - -q | tr -d '\r' || exit $?
echo
echo "The Shift-JIS text picture is $out (open it with: $BUILD/Lumenpane $out)."
echo "As a picture to share: $BUILD/pictoria-convert demo/coffee.jpg -o coffee-text.png"
echo "Finer pictures: $BUILD/pictoria-convert demo/coffee.jpg --cell 8 (see --help)."
if command -v xvfb-run >/dev/null 2>&1; then
    echo "The windows: run 'make run' in a graphical session, or under a virtual display:"
    echo "  xvfb-run -a $BUILD/Pictoria"
else
    echo "The windows: run 'make run' in a graphical session."
fi
