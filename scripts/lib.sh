# Shared by scripts/run and scripts/test: installs the Debian packages the build needs.
# shellcheck shell=bash

DRAVEL_PACKAGES=(cmake ninja-build g++ qt6-base-dev libsqlite3-dev libgtest-dev libgmock-dev
                 libbenchmark-dev)

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
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null ||
        { echo "apt-get install failed: $missing" >&2; return 1; }
}

configure_and_build() {
    local root=$1
    cmake -S "$root" -B "$root/build" -G Ninja >/dev/null &&
        cmake --build "$root/build" -j2
}
