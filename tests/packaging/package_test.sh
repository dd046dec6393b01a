#!/usr/bin/env bash
# Builds the two Debian packages from the build tree, checks them as Debian's tools do, installs
# them into a throw-away root and runs what they installed.
# usage: package_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build=$2
. "$source_dir/scripts/lib.sh"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
step() { echo "--- $*"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
if [ "$prefix" != /usr ]; then
    echo "FAIL: the packages need a build tree configured with -DCMAKE_INSTALL_PREFIX=/usr" \
        "(scripts/test and scripts/package configure it so); this one has '$prefix'" >&2
    exit 1
fi

step "building the packages"
make_packages "$build" "$work/dist" || { echo "FAIL: cpack" >&2; exit 1; }
client_deb=$(ls "$work"/dist/dravel_*.deb 2>/dev/null)
server_deb=$(ls "$work"/dist/orvo-server_*.deb 2>/dev/null)
[ -f "$client_deb" ] && [ -f "$server_deb" ] || { echo "FAIL: missing packages" >&2; exit 1; }
for deb in "$client_deb" "$server_deb"; do
    dpkg-deb --info "$deb" control
    dpkg-deb --contents "$deb" | awk '{print $1, $6}'
done

step "dependencies"
client_depends=$(dpkg-deb --field "$client_deb" Depends)
server_depends=$(dpkg-deb --field "$server_deb" Depends)
for need in qt6-translations-l10n qt6-qpa-plugins libqt6widgets6 libqt6network6 libc6; do
    grep -q "\b$need\b" <<<"$client_depends" || fail "dravel does not depend on $need"
done
for need in libqt6network6 libsqlite3-0 libc6; do
    grep -q "\b$need\b" <<<"$server_depends" || fail "orvo-server does not depend on $need"
done
grep -q "libqt6widgets6" <<<"$server_depends" && fail "orvo-server depends on Qt Widgets"

step "lintian"
# Kept warnings are overridden, with the reason, in the packages themselves.
lintian --fail-on error,warning --display-info "$client_deb" "$server_deb" ||
    fail "lintian found errors or warnings"

step "installing into a throw-away root"
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root() {
    dpkg --root="$root" --force-script-chrootless --force-not-root --force-depends \
        --log=/dev/null "$@"
}
dpkg_root --install "$client_deb" "$server_deb" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; fail "dpkg could not install the packages"; }

step "the installed programs"
no_display() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
version=$(no_display "$root/usr/bin/dravel" --version 2>&1)
[ "$version" = "dravel 2.0.3" ] || fail "dravel --version printed '$version'"
version=$("$root/usr/bin/orvo-server" --version 2>&1)
[ "$version" = "orvo-server 2.0.3" ] || fail "orvo-server --version printed '$version'"

step "manual pages name every option --help shows"
for program in dravel orvo-server; do
    options=$(no_display "$root/usr/bin/$program" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' |
        sort -u)
    [ -n "$options" ] || fail "$program --help names no option"
    for page in "$root/usr/share/man/man1/$program.1.gz" "$root/usr/share/man/it/man1/$program.1.gz"; do
        text=$(zcat "$page" | sed 's/\\-/-/g') || { fail "no manual page $page"; continue; }
        for option in $options; do
            grep -q -- "$option\b" <<<"$text" || fail "${page#"$root"} does not mention $option"
        done
    done
done

step "desktop entry and AppStream metainfo"
desktop=$(ls "$root"/usr/share/applications/*.desktop)
out=$(desktop-file-validate --no-hints "$desktop" 2>&1)
[ -z "$out" ] || fail "desktop-file-validate: $out"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml ||
    fail "appstreamcli validate"
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"

step "the service"
unit="$root/lib/systemd/system/orvo-server.service"
# The targets the unit is ordered against come from the system's systemd, as they would on a
# real installation.
cp -n /lib/systemd/system/*.target "$root/lib/systemd/system/"
out=$(systemd-analyze verify --man=no --root="$root" "$unit" 2>&1)
[ -z "$out" ] || fail "systemd-analyze verify: $out"
out=$(systemd-analyze security --offline=true --root="$root" --no-pager "$unit" 2>&1)
exposure=$(sed -n 's/.*Overall exposure level for orvo-server.service: \([0-9.]*\).*/\1/p' <<<"$out")
echo "exposure: $exposure"
awk -v e="$exposure" 'BEGIN { exit !(e != "" && e < 3.0) }' ||
    { echo "$out"; fail "service exposure '$exposure' is not under 3.0"; }

step "the sample catalogue the package wrote"
state="$root/var/lib/orvo-server"
[ -f "$state/catalogue.db" ] || fail "no catalogue in /var/lib/orvo-server"
[ "$(stat -c %a "$state/catalogue.db")" = 644 ] || fail "the catalogue is not readable by all"
# The service's user must be able to serve it: a real start on a free port, stopped at once.
"$root/usr/bin/orvo-server" --db "$state/catalogue.db" --port 0 >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 200); do
    grep -q "^listening on" "$work/server.log" && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
done
grep -q "^listening on" "$work/server.log" ||
    fail "orvo-server did not serve the sample catalogue: $(cat "$work/server.log")"
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null

step "a purge removes the sample; upgrades and purges keep the operator's catalogue"
dpkg_root --purge orvo-server >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "purge"; }
[ ! -e "$state" ] || fail "a purge left the sample catalogue behind: $(ls -A "$state")"
dpkg_root --install "$server_deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "install"; }
echo "the operator's catalogue" >"$state/catalogue.db"
dpkg_root --install "$server_deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "upgrade"; }
[ "$(cat "$state/catalogue.db")" = "the operator's catalogue" ] ||
    fail "an upgrade replaced the operator's catalogue"
dpkg_root --purge orvo-server >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "purge"; }
[ "$(cat "$state/catalogue.db" 2>/dev/null)" = "the operator's catalogue" ] ||
    fail "a purge removed a catalogue the package did not write"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "packages checked"
