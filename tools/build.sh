#!/bin/sh
# SPDX-License-Identifier: MIT
# Configures and builds quietly, the whole log in BUILD/build.log, shown in
# full only when the build fails. Progress: one line redrawn on a terminal,
# a line every 30 seconds otherwise (CI logs, pipes).
#   [TARGETS="t1 t2"] tools/build.sh BUILD JOBS [CMAKE OPTIONS...]
set -u
BUILD=$1
JOBS=$2
shift 2
mkdir -p "$BUILD"
log="$BUILD/build.log"
# shellcheck disable=SC2086 # TARGETS is a list of names
{ cmake -S . -B "$BUILD" "$@" && cmake --build "$BUILD" -j "$JOBS" ${TARGETS:+--target $TARGETS}; } >"$log" 2>&1 &
pid=$!
started=$(date +%s)
last=$started
elapsed() { s=$(($(date +%s) - started)); [ $s -ge 60 ] && echo "$((s / 60))m$((s % 60))s" || echo "${s}s"; }
while kill -0 "$pid" 2>/dev/null; do
    # Parallel jobs print their percentages out of order: the highest is the progress.
    pct=$(grep -o '^\[ *[0-9]*%\]' "$log" | tr -dc '0-9\n' | sort -n | tail -n 1)
    step=${pct:+$pct%}
    if [ -t 1 ]; then
        printf '\rBuilding %s ' "${step:-(configuring)}"
    elif [ $(($(date +%s) - last)) -ge 30 ]; then
        echo "Building ${step:-(configuring)} ($(elapsed))"
        last=$(date +%s)
    fi
    sleep 1
done
[ -t 1 ] && printf '\r\033[K'
if ! wait "$pid"; then
    cat "$log"
    echo "The build failed; its log is $log." >&2
    exit 1
fi
echo "Built in $BUILD in $(elapsed) (log: $log)."
