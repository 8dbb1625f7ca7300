#!/bin/sh
# SPDX-License-Identifier: MIT
# clang-format (check only, nothing is rewritten) over every C++ file in git,
# then clang-tidy with the project's .clang-tidy over the programs' sources
# (compile commands from build-lint/). Any finding fails the script.
#   tools/lint.sh
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
cd "$root"

EXTRA_PACKAGES="clang-format clang-tidy" sh tools/install-deps.sh

files=$(git ls-files '*.cpp' '*.h')
# shellcheck disable=SC2086 # one word a file
if ! clang-format --dry-run --Werror $files; then
  echo "clang-format: the files above differ from .clang-format; run clang-format -i on them" >&2
  exit 1
fi

cmake -S "$root" -B "$root/build-lint" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
log="$root/build-lint/clang-tidy.log"
run-clang-tidy -p "$root/build-lint" -j "$jobs" -quiet "$root/(common|engine|ui|maker|viewer|cli)/" >"$log" 2>&1 || true
if grep -E "(warning|error):" "$log"; then
  echo "clang-tidy: findings above (whole log: $log)" >&2
  exit 1
fi
echo "lint: clang-format and clang-tidy find nothing"
