#!/bin/sh
# SPDX-License-Identifier: MIT
# Configures and builds quietly: one progress line on a terminal, the whole
# log in BUILD/build.log, shown in full only when the build fails.
#   tools/build.sh BUILD JOBS [CMAKE OPTIONS...]
set -u
BUILD=$1
JOBS=$2
shift 2
mkdir -p "$BUILD"
log="$BUILD/build.log"
{ cmake -S . -B "$BUILD" "$@" && cmake --build "$BUILD" -j "$JOBS"; } >"$log" 2>&1 &
pid=$!
if [ -t 1 ]; then
    while kill -0 "$pid" 2>/dev/null; do
        step=$(grep -o '^\[ *[0-9]*%\]' "$log" | tail -n 1)
        printf '\rBuilding %s ' "${step:-(configuring)}"
        sleep 1
    done
    printf '\r\033[K'
fi
if ! wait "$pid"; then
    cat "$log"
    echo "The build failed; its log is $log." >&2
    exit 1
fi
echo "Built in $BUILD (log: $log)."
