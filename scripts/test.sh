#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test; builds and checks the
# Debian packages; then the sanitizer build of the tests and a short bounded run of each
# fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== build (ci preset)"
cmake --preset ci >/dev/null
cmake --build --preset ci -j"$jobs"
echo "== tests"
ctest --preset ci -j"$jobs"

if [ "${VT_SKIP_PACKAGES:-0}" != 1 ]; then
  echo "== Debian packages (vtserver, vtagentd)"
  scripts/deps.sh dpkg-dev
  rm -rf build/ci/packages
  (cd build/ci && cpack -G DEB >/dev/null)
  cmake -DPACKAGES=build/ci/packages -P cmake/CheckPackages.cmake
fi

if [ "${VT_SKIP_ASAN:-0}" != 1 ]; then
  echo "== tests under AddressSanitizer/UndefinedBehaviorSanitizer"
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j"$jobs"
  ctest --preset asan -j"$jobs" -LE nosan
fi

if [ "${VT_SKIP_FUZZ:-0}" != 1 ]; then
  echo "== fuzz (bounded)"
  cmake --preset fuzz >/dev/null
  targets=$(for f in fuzz/fuzz_*.cpp; do basename "$f" .cpp; done)
  # shellcheck disable=SC2086
  cmake --build --preset fuzz -j"$jobs" --target $targets
  for f in build/fuzz/fuzz/fuzz_*; do
    [ -f "$f" ] && [ -x "$f" ] || continue
    name=$(basename "$f")
    corpus="fuzz/corpus/${name#fuzz_}"
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
    echo "-- $name"
    "$f" -max_total_time="${VT_FUZZ_SECONDS:-30}" -max_len=4096 -print_final_stats=0 "$work" 2>&1 | tail -n 3
    rm -rf "$work"
  done
fi
echo "== all tests passed"
