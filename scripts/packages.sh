# Debian packages the build and the tests need, and the helper that installs the missing ones.
# Sourced by scripts/build, scripts/test and scripts/demo.

PROJECT_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    clang libclang-rt-14-dev clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    libserialport-dev libusb-1.0-0-dev umockdev libumockdev-dev
    libunicorn-dev binutils-m68k-linux-gnu binutils-arm-none-eabi
    gcc-m68k-linux-gnu gcc-arm-none-eabi
    qt6-base-dev xvfb xauth fonts-dejavu-core
    python3 scdoc man-db groff-base lintian
)

# Installs whatever of PROJECT_PACKAGES is missing: one `apt-get update`, then one install.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "${PROJECT_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
}

# configure_and_build DIR [cmake options...]: configures DIR once, then builds it.
configure_and_build() {
    local dir=$1
    shift
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S . -B "$dir" -G Ninja "$@"
    fi
    cmake --build "$dir" --parallel "$(nproc)"
}
