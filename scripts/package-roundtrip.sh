#!/usr/bin/env bash
# Builds the .deb from build/, installs it with apt, checks the installed programs,
# and removes it again. Run by ./test.sh --ci after the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
source scripts/build.sh

ensure_packages build run test package
build_project build Release -DQUADVIEW_WERROR=ON >/dev/null

rm -f build/quadview_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/quadview_*.deb)
echo "== package: $deb"
dpkg-deb -f "$deb" Depends

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
remove() { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quadview >/dev/null; }
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$PWD/$deb" >/dev/null
trap remove EXIT

diff <(/usr/bin/pointdemo) tests/expected/pointdemo.txt
diff <(/usr/bin/pointtrace) tests/expected/pointtrace.txt
echo "installed pointdemo and pointtrace print what they should"
desktop-file-validate /usr/share/applications/quadview.desktop
test -f /usr/share/icons/hicolor/scalable/apps/quadview.svg

# The installed quadview must come up and draw all four views, and keep running a while.
with_display build/bin/framewatch --settle 3000 --timeout 30 -- /usr/bin/quadview
echo "installed quadview showed its four views"

trap - EXIT
remove
test ! -e /usr/bin/quadview
echo "package removed"
