#!/usr/bin/env bash
# The main job: sets up, builds, and renders one 1920 x 1080 frame into frame.bmp.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh" "$here/build"
"$here/build/velmora" --dump "$here/frame.bmp" "$@"
echo "wrote $here/frame.bmp"
