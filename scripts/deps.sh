# shellcheck shell=bash
# Sourced by test.sh and demo.sh: the Debian packages the project needs, and
# their installation when any is missing.

# Compiler and build tools, Tcl/Tk headers and shells, image libraries,
# GoogleTest, a virtual X server for the Tk tests, clang with its
# sanitizer and libFuzzer runtimes for the fuzz targets, and independent
# decoders that check what we write (Python's Pillow, libjpeg's djpeg), and
# Python's tkinter, through which Python programs use the extension.
VISTEL_PACKAGES=(
    g++ make cmake
    tcl-dev tk-dev
    libpng-dev libjpeg62-turbo-dev zlib1g-dev
    libgtest-dev
    xvfb xauth
    clang libclang-rt-14-dev
    python3-pil libjpeg-turbo-progs python3-tk
    tcl-thread
)

vistel_missing_packages() {
    local pkg
    for pkg in "${VISTEL_PACKAGES[@]}"; do
        if [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" != "install ok installed" ]; then
            echo "$pkg"
        fi
    done
}

# Installs what is missing; the package lists are refreshed only then.
vistel_ensure_packages() {
    local missing
    mapfile -t missing < <(vistel_missing_packages)
    [ "${#missing[@]}" -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "missing packages (run as root to install them): ${missing[*]}" >&2
            return 1
        fi
    fi
    echo "installing: ${missing[*]}"
    # Wait for a package manager that another process is running.
    local apt_opts=(-o DPkg::Lock::Timeout=600)
    "${sudo[@]}" apt-get "${apt_opts[@]}" update -q || return 1
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_opts[@]}" install -y -q \
        --no-install-recommends "${missing[@]}" </dev/null || return 1
}
