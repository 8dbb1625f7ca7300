#!/bin/sh
# Starts Pictoria from the build directory, or says why it cannot.
BUILD=${1:-build}
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
    echo "No display: DISPLAY and WAYLAND_DISPLAY are not set, so the Pictoria window cannot open."
    echo "Run 'make run' inside a graphical session (or under xvfb-run)."
    exit 0
fi
exec "$BUILD/Pictoria"
