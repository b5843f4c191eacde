# Shared by scripts/run, scripts/test and scripts/bench: install what is
# missing (Debian packages, non-interactive) and build the tree.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# ensure_packages NAME... : apt-get install only the packages not installed yet.
ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q >/dev/null
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null >/dev/null
}

BUILD_PACKAGES=(build-essential cmake qtbase5-dev libcurl4-openssl-dev)

# build DIR [CMAKE ARGS...] : configure once, then build incrementally.
build() {
    local dir=$1; shift
    cmake -S "$ROOT" -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}
