#!/usr/bin/env bash
# Builds the .deb from build/, checks it with Debian's own tools, installs it with apt,
# checks the installed programs, and removes it again. Run by ./test.sh --ci after the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
source scripts/build.sh

ensure_packages build run test package
build_project build Release -DQUADVIEW_WERROR=ON -DBUILD_TESTING=ON >/dev/null

rm -f build/quadview_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/quadview_*.deb)
echo "== package: $deb"
dpkg-deb -f "$deb" Depends
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Recommends: $recommends"
[ "$recommends" = qt6-wayland ] || { echo "the package should recommend qt6-wayland" >&2; exit 1; }

# Errors and warnings fail the build; informational tags are only shown.
lintian --info --display-info --fail-on error,warning "$deb"
echo "lintian: no errors or warnings"

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
remove() { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quadview >/dev/null; }
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$PWD/$deb" >/dev/null
trap remove EXIT

diff <(/usr/bin/pointdemo) tests/expected/pointdemo.txt
diff <(/usr/bin/pointtrace) tests/expected/pointtrace.txt
echo "installed pointdemo and pointtrace print what they should"
app=io.github.quadview.quadview
hints=$(desktop-file-validate "/usr/share/applications/$app.desktop")
[ -z "$hints" ] || { echo "$hints"; exit 1; }
appstreamcli validate --pedantic --no-net "/usr/share/metainfo/$app.metainfo.xml"
test -f /usr/share/icons/hicolor/scalable/apps/quadview.svg
for page in quadview pointdemo pointtrace; do
    # man finds the installed page by name and renders it without a warning.
    path=$(man -w "$page")
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$path" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$path: $warnings"; exit 1; }
done
echo "desktop entry, metainfo and manual pages are valid"

# The installed quadview must come up and draw all four views, and keep running a while.
with_display build/bin/framewatch --settle 3000 --timeout 30 -- /usr/bin/quadview
echo "installed quadview showed its four views"

trap - EXIT
remove
test ! -e /usr/bin/quadview
echo "package removed"
