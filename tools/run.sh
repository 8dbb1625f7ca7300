#!/bin/sh
# SPDX-License-Identifier: MIT
# Starts Pictoria from the build directory. Without a display it shows what
# the programs do on the terminal instead: the demo picture converted by
# pictoria-convert, in characters every terminal draws two columns wide.
BUILD=${1:-build}
if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
    exec "$BUILD/Pictoria"
fi

# Terminals that say their colours set COLORFGBG to "fg;bg" (or "fg;x;bg");
# a background of 7 or 9 to 15 is a light one. Any other terminal is taken as
# dark, the usual case, and the picture is inverted for light text.
background=${COLORFGBG##*;}
case "$background" in
    7 | 9 | 1[0-5]) invert= ; assumed="a light background (COLORFGBG=$COLORFGBG)" ;;
    *) invert=--invert
       if [ -n "$COLORFGBG" ]; then assumed="a dark background (COLORFGBG=$COLORFGBG)"
       else assumed="a dark background (COLORFGBG is unset; the usual case)"; fi ;;
esac

out="$BUILD/demo-coffee.txt"
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset), so the windows cannot open."
echo "Here is demo/coffee.jpg as a text picture instead, converted by pictoria-convert"
echo "for $assumed:"
echo
"$BUILD/pictoria-convert" demo/coffee.jpg --cell 16 -o "$out" -q || exit $?
"$BUILD/pictoria-convert" demo/coffee.jpg --cell 16 --terminal $invert -o - -q | tr -d '\r' || exit $?
echo
echo "The Shift-JIS text picture is $out."
echo "More on the command line (all options: $BUILD/pictoria-convert --help):"
echo "  $BUILD/pictoria-convert demo/coffee.jpg --cell 8 -o coffee.txt      # finer"
echo "  $BUILD/pictoria-convert demo/coffee.jpg -o coffee-text.png         # a picture to share"
echo "  $BUILD/pictoria-convert PICTURE --fit --invert --color              # shown here, in colour"
echo "The windows need a desktop session (X11 or Wayland). From one, 'make run'"
echo "starts Pictoria and '$BUILD/Lumenpane $out' shows this file."
