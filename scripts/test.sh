#!/usr/bin/env bash
# Every test: sets up, then builds and runs the suite normally (each test alone, then all in
# one process) and under AddressSanitizer +
# UndefinedBehaviorSanitizer, checks that the assets regenerate byte for byte,
# cross-builds the Windows program (build-windows/velmora.exe) and its release (dist/), checks
# the release's files, and runs the program and its installer under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"

echo "== normal build"
bash "$here/scripts/build.sh" "$here/build"
(cd "$here/build" && ctest --output-on-failure -j "$(nproc)")
echo "== the whole suite in one process (no test may depend on another's state)"
"$here/build/tests/velmora_tests"

echo "== sanitizer build"
bash "$here/scripts/build.sh" "$here/build-asan" -DVELMORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$here/build-asan" && ctest --output-on-failure -j "$(nproc)")

if [ -x "$here/build/tools/velmora_assets" ]; then
  echo "== assets regenerate byte for byte"
  out=$(mktemp -d)
  "$here/build/tools/velmora_assets" "$out"
  for f in wall.bc3 spot.bc1 velmora.ico; do
    cmp "$out/$f" "$here/assets/$f"
  done
  rm -rf "$out"
fi

echo "== Windows cross build and release"
bash "$here/scripts/release.sh"
python3 "$here/tests/release/check_release.py" --dist "$here/dist" --windows-build "$here/build-windows"

echo "== velmora.exe under Wine"
python3 "$here/tests/wine/run_wine_tests.py" --linux-build "$here/build" --windows-build "$here/build-windows" \
  --dist "$here/dist"
