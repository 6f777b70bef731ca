#!/usr/bin/env bash
# Makes the README's screenshot from the real program: quadview on a private Xvfb,
# captured from the X screen once all four views have drawn.
#   scripts/screenshot.sh [OUTPUT.png]     (default docs/quadview.png)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
source scripts/build.sh

out=${1:-docs/quadview.png}
ensure_packages build run
build_project build Release -DBUILD_TESTING=OFF --target quadview framewatch >/dev/null
mkdir -p "$(dirname "$out")"
screenshot_quadview "$out"
echo "wrote $out"
