#!/usr/bin/env bash
# The package as users get it: built and checked, installed with apt-get, run through the
# screenshot cycle and a recording, upgraded over itself, removed and purged, leaving no file of
# its own and the user's captures and history as they were. Arguments: the build folder and the
# end-to-end test program.
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "Skipped: installing the package with apt-get needs root."; exit 77; }
installed() { [ "$(dpkg-query -W -f='${Status}' quorvastelin 2>/dev/null)" = "install ok installed" ]; }
installed && { echo "A quorvastelin package is installed here already; it is left alone." >&2; exit 1; }
export DEBIAN_FRONTEND=noninteractive
# Others may be installing packages on this machine at the same moment: wait for their turn.
# What the package only recommends is left out, so that checking it installs nothing else.
aptGet() { apt-get -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 "$@" >/dev/null; }
work=$(mktemp -d)
finish() {
    aptGet purge quorvastelin 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

deb=$("$(dirname "$0")/../../scripts/package" "$1")
lintian --fail-on error "$deb"
dpkg-deb -x "$deb" "$work/contents"
appstreamcli validate --no-net "$work"/contents/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$work"/contents/usr/share/applications/quorvastelin.desktop

# A user's captures and history from before, which nothing below may touch.
home=$work/home
history=$home/.local/share/Quorvastelin/history.db
shot=$home/Documents/Quorvastelin/Screenshots/Screenshot_2026-01-02_03-04-05.png
mkdir -p "$(dirname "$history")" "$(dirname "$shot")"
cp "$(dirname "$0")/../../packaging/quorvastelin-256.png" "$shot"
sqlite3 "$history" "CREATE TABLE captures (id INTEGER PRIMARY KEY AUTOINCREMENT, type TEXT NOT NULL,
    path TEXT NOT NULL, created_at TEXT NOT NULL); INSERT INTO captures (type, path, created_at)
    VALUES ('screenshot', '$shot', '2026-01-02T03:04:05Z');"
before=$(sha1sum "$shot" "$history")

aptGet install "$deb"
dpkg-query -L quorvastelin > "$work/files"
"$2" --gtest_also_run_disabled_tests --gtest_filter='DISABLED_Installed/*'

# Removing the package while the program runs is a row of the lifecycle test, on any machine.
aptGet install --reinstall "$deb"
dpkg --verify quorvastelin || fail "the upgrade left files that differ from the package"
aptGet remove quorvastelin
# With no configuration of its own, removing it left nothing for a purge.
dpkg --purge quorvastelin >/dev/null
installed && fail "the package is still installed"
while read -r path; do
    if [ -e "$path" ] && { [ ! -d "$path" ] || [[ $path == *quorvastelin* ]]; }; then
        fail "$path remains"
    fi
done < "$work/files"
[ "$(sha1sum "$shot" "$history")" = "$before" ] || fail "the user's captures or history changed"
