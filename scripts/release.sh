#!/usr/bin/env bash
# The Windows release: sets up, cross-builds velmora.exe in Release (build-windows) and leaves
# in dist/ velmora-VERSION-win64.zip, velmora-VERSION-setup.exe, SHA256SUMS and winget/, the
# package manager's three manifests. VERSION is the one of CMakeLists.txt.
#
#   release.sh [--url BASE]   BASE: where the files will be published (the manifests'
#                             installer address); a placeholder by default
#
# Every file carries the time of the last commit (or SOURCE_DATE_EPOCH), so that two runs
# on the same sources give the same bytes.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
url="https://example.com/velmora/releases/download/v{version}"
while [ $# -gt 0 ]; do
  case "$1" in
    --url) url=$2; shift 2 ;;
    *) echo "usage: $0 [--url BASE]" >&2; exit 2 ;;
  esac
done
bash "$here/scripts/setup.sh"

build="$here/build-windows"
bash "$here/scripts/build.sh" "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
url=${url//\{version\}/$version}
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || echo 315532800)}

# The installer stores the program's file time.
stage="$build/release"
mkdir -p "$stage"
cp "$build/velmora.exe" "$stage/velmora.exe"
touch -d "@$epoch" "$stage/velmora.exe"

dist="$here/dist"
mkdir -p "$dist"
rm -rf "$dist"/velmora-*-win64.zip "$dist"/velmora-*-setup.exe "$dist/SHA256SUMS" "$dist/winget"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DPROGRAM="$stage/velmora.exe" \
  -DOUTFILE="$dist/velmora-$version-setup.exe" "$here/platform/windows/installer/velmora.nsi"
python3 "$here/scripts/release_files.py" --version "$version" --program "$stage/velmora.exe" \
  --readme "$here/platform/windows/README.txt" --epoch "$epoch" --url "$url" "$dist"
(cd "$dist" && sha256sum -c SHA256SUMS)
echo "release $version in $dist"
