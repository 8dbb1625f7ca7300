#!/bin/sh
# SPDX-License-Identifier: MIT
# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/, then every fuzz target (clang, build-fuzz/) over its corpus and
# RUNS new inputs. Any finding fails the script.
#   tools/sanitize-and-fuzz.sh [RUNS]      (default 20000 inputs a target)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20000}
jobs=${JOBS:-2}

EXTRA_PACKAGES="clang libclang-rt-14-dev" sh "$root/tools/install-deps.sh"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

# This build leaves the glyph search's AVX2 kernel out, so that the suite
# runs on the portable kernel too (make test's build runs it on AVX2); the
# search's fuzz target checks the AVX2 kernel under the sanitizers.
cmake -S "$root" -B "$root/build-asan" -DPICTORIA_SANITIZE=ON -DPICTORIA_WERROR=ON -DCMAKE_BUILD_TYPE=Debug \
  -DPICTORIA_VECTOR=OFF
cmake --build "$root/build-asan" -j"$jobs"
(cd "$root/build-asan" && ctest --output-on-failure)

cmake -S "$root" -B "$root/build-fuzz" -DPICTORIA_FUZZ=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
targets="database code_page image search"
for t in $targets; do
  cmake --build "$root/build-fuzz" -j"$jobs" --target "fuzz_$t"
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for t in $targets; do
  mkdir -p "$scratch/$t"
  # The image loader runs with a 16 MB picture limit: one allocation past
  # 64 MB, or the process past 2 GB, is a picture the limit let through.
  limits="-rss_limit_mb=4096"
  [ "$t" = image ] && limits="-rss_limit_mb=2048 -malloc_limit_mb=64"
  # New inputs go to the scratch corpus; the seeds in the repository stay as they are.
  "$root/build-fuzz/fuzz_$t" -runs="$runs" -max_total_time=50 -timeout=10 $limits \
    -artifact_prefix="$root/build-fuzz/$t-" "$scratch/$t" "$root/fuzz/corpus/$t"
done
echo "sanitized suite and fuzz targets: no findings"
