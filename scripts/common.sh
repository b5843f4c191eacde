# Shared by the scripts: install what is missing (Debian packages,
# non-interactive), build a tree from a configure preset, and the sanitizers'
# run-time options.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

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

# fonts-liberation: the narrow family the fixed layouts are set in;
# libcpp-httplib-dev (found through pkg-config): the HTTP server of
# lensdesk-alpaca.
BUILD_PACKAGES=(build-essential cmake ccache qtbase5-dev libcurl4-openssl-dev zlib1g-dev fonts-liberation
    pkg-config libcpp-httplib-dev)

# Compiler results are cached across build trees and runs when ccache is
# there (a fresh tree then compiles in a fraction of the time). The trees are
# built with debug information, for which ccache would hash the working
# directory; paths are taken relative to the source root and the directory is
# left out, so build/, build-headless/ and build-run/ share their objects.
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$ROOT} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}

# Every build tree comes from a configure preset of CMakePresets.json:
# "default" builds in build/, any other preset NAME in build-NAME/.
preset_dir() {
    if [ "$1" = default ]; then echo "$ROOT/build"; else echo "$ROOT/build-$1"; fi
}

# build PRESET DIR [TARGET...] : configures DIR with the preset (the first
# time; later only what changed) and builds the targets, or everything.
build() {
    local preset=$1 dir=$2; shift 2
    local targets=() target
    for target in "$@"; do targets+=(--target "$target"); done
    (cd "$ROOT" && cmake --preset "$preset" -B "$dir" >/dev/null)
    cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
}

# sanitizer_environment : the options every sanitizer-built test runs with
# (exported, so CTest and the test's own child processes inherit them).
# The toolkit is not built for thread analysis: memory calls made from inside
# its libraries (its own thread pool hands memory over with locks the
# analyser cannot see) are not checked, our own code is. Everything runs
# several times slower there: the tests' own waits (tests/support/TestWaits.h)
# stretch by the factor their CTest time limits have.
sanitizer_environment() {
    export LENSDESK_TEST_WAIT_FACTOR=${LENSDESK_TEST_WAIT_FACTOR:-3}
    export ASAN_OPTIONS=suppressions=$ROOT/tests/asan.supp:halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:report_error_type=1
    export LSAN_OPTIONS=suppressions=$ROOT/tests/lsan.supp:print_suppressions=0
    export TSAN_OPTIONS=suppressions=$ROOT/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1
}
