# Shared by scripts/run and scripts/test: installs the Debian packages the build needs.
# shellcheck shell=bash

# qt6-translations-l10n holds Qt's Italian texts, which the client always loads.
DRAVEL_PACKAGES=(cmake ninja-build g++ qt6-base-dev libsqlite3-dev libgtest-dev libgmock-dev
                 libbenchmark-dev qt6-translations-l10n)
# Making the Debian packages and checking them (scripts/package and its test in scripts/test).
DRAVEL_PACKAGING_PACKAGES=(dpkg-dev file lintian desktop-file-utils appstream systemd)

# The fuzz targets (scripts/fuzz): clang with libFuzzer and the sanitizers' runtimes.
FUZZ_PACKAGES=(clang libclang-rt-dev)

# The screen-reader suite (tests/screenreader): a private X display, window manager, D-Bus and
# AT-SPI buses, speech-dispatcher and Orca, Qt's Italian texts, and the Italian locale source.
SCREENREADER_PACKAGES=(xvfb xdotool openbox dbus at-spi2-core speech-dispatcher
                       speech-dispatcher-espeak-ng orca python3-pyatspi locales
                       qt6-translations-l10n)

missing_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    echo "${missing[@]}"
}

# ensure_packages PKG...: installs what is missing, as root or through sudo; otherwise prints the
# one line to run and fails.
ensure_packages() {
    local missing
    missing=$(missing_packages "$@")
    [ -z "$missing" ] && return 0
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
            sudo="sudo"
        else
            echo "Missing packages. Run: sudo apt-get install -y $missing" >&2
            return 1
        fi
    fi
    echo "Installing: $missing"
    # Another apt run (a developer's, an unattended upgrade) may hold the lock for a while.
    local wait=(-o DPkg::Lock::Timeout=600)
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get "${wait[@]}" update -qq &&
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get "${wait[@]}" install -y -qq $missing \
            >/dev/null ||
        { echo "apt-get install failed: $missing" >&2; return 1; }
}

# configure_and_build ROOT [BUILD [CMAKE-OPTION...]]: configures for the system's layout (prefix
# /usr, the one the packages hold) and builds.
configure_and_build() {
    local root=$1 build=${2:-$1/build}
    shift $(($# < 2 ? $# : 2))
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr "$@" >/dev/null &&
        cmake --build "$build" -j2
}

# make_packages BUILD OUT: the two .deb files of a configured and built tree, into OUT.
make_packages() {
    local build=$1 out=$2 work
    work=$(mktemp -d)
    mkdir -p "$out"
    (cd "$build" && cpack --config CPackConfig.cmake -B "$work" >"$work.log" 2>&1) ||
        { cat "$work.log" >&2; rm -rf "$work" "$work.log"; return 1; }
    mv -f "$work"/*.deb "$out"/
    rm -rf "$work" "$work.log"
}
