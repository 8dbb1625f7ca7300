#!/bin/sh
# SPDX-License-Identifier: MIT
# Starts Pictoria from the build directory. Without a display it shows what
# the programs do on the terminal instead: the demo picture converted by
# pictoria-convert.
BUILD=${1:-build}
if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
    exec "$BUILD/Pictoria"
fi

out="$BUILD/demo-coffee.txt"
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset), so the windows cannot open."
echo "Here is demo/coffee.jpg as a text picture instead, converted by pictoria-convert:"
echo
"$BUILD/pictoria-convert" demo/coffee.jpg --cell 16 -o "$out" || exit $?
"$BUILD/pictoria-convert" demo/coffee.jpg --cell 16 --encoding utf-8 -o - -q | tr -d '\r' || exit $?
echo
echo "The Shift-JIS text picture is $out (open it with: $BUILD/Lumenpane $out)."
echo "Finer pictures: $BUILD/pictoria-convert demo/coffee.jpg --cell 8 (see --help)."
echo "The windows: run 'make run' in a graphical session, or under a virtual display:"
echo "  xvfb-run -a $BUILD/Pictoria"
