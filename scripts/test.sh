#!/usr/bin/env bash
# The test command: installs what building and testing need (Debian 12),
# builds, runs every test in a normal and in a sanitizer build, then installs
# the library and builds an application against it with pkg-config alone.
# Runs as root: tests that serve RPC run on isolated test hosts
# (scripts/testhost.sh), which need network, mount and pid namespaces.
#
# Build directories (reused on the next run): build/ and build-asan/, or
# CALLMGR_BUILD_DIR and CALLMGR_ASAN_BUILD_DIR.
set -euo pipefail

cd "$(dirname -- "${BASH_SOURCE[0]}")/.."
readonly ROOT=$PWD
readonly BUILD=${CALLMGR_BUILD_DIR:-build}
readonly ASAN_BUILD=${CALLMGR_ASAN_BUILD_DIR:-build-asan}

readonly PACKAGES=(
  build-essential g++ cmake pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libtirpc-dev rpcbind iproute2 util-linux
  binutils-mingw-w64-i686
  libfreetype-dev libpng-dev fonts-dejavu-core
  python3
)

step() { printf '\n==== %s\n' "$*"; }
fail() {
  printf 'test.sh: %s\n' "$*" >&2
  exit 1
}

if ((EUID != 0)); then
  command -v sudo >/dev/null || fail "run as root: sudo bash scripts/test.sh"
  exec sudo bash "$ROOT/scripts/test.sh" "$@"
fi

SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/callmgr-test.XXXXXX")
POLICY_RC=""
cleanup() {
  if [[ -n $POLICY_RC ]]; then rm -f -- "$POLICY_RC"; fi
  rm -rf -- "$SCRATCH"
}
trap cleanup EXIT

# Quiet unless it fails; then the whole output is shown.
quietly() {
  local log=$SCRATCH/quiet.log
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    fail "failed: $*"
  fi
}

missing_packages() {
  local pkg state
  for pkg in "${PACKAGES[@]}"; do
    state=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
    if [[ $state != installed ]]; then printf '%s\n' "$pkg"; fi
  done
}

install_packages() {
  if [[ -z $(missing_packages) ]]; then
    step "packages: all present"
    return
  fi
  step "packages: installing"
  export DEBIAN_FRONTEND=noninteractive
  # Installing rpcbind must not start the machine's own rpcbind: every test
  # brings its own.  policy-rc.d is Debian's switch for that.
  if [[ ! -e /usr/sbin/policy-rc.d ]]; then
    POLICY_RC=/usr/sbin/policy-rc.d
    printf '#!/bin/sh\nexit 101\n' >"$POLICY_RC"
    chmod 755 "$POLICY_RC"
  fi
  quietly apt-get -q -o Acquire::Retries=3 update
  quietly apt-get -q -y -o Acquire::Retries=3 install --no-install-recommends "${PACKAGES[@]}"
  if [[ -n $POLICY_RC ]]; then
    rm -f -- "$POLICY_RC"
    POLICY_RC=""
  fi
  [[ -z $(missing_packages) ]] || fail "still missing: $(missing_packages | tr '\n' ' ')"
}

# build_and_test DIR [CMAKE_ARGS...]
build_and_test() {
  local dir=$1
  shift
  step "$dir: configure"
  cmake -S "$ROOT" -B "$dir" "$@" >/dev/null
  step "$dir: build"
  cmake --build "$dir" -j"$(nproc)"
  step "$dir: test"
  ctest --test-dir "$dir" --output-on-failure -j2
}

# An application outside the tree, built the way the README tells users to.
check_install() {
  local stage=$SCRATCH/install app=$ROOT/tests/install/app.cpp pc pcdir
  step "install: $BUILD into a staging prefix"
  quietly cmake --install "$BUILD" --prefix "$stage"
  if [[ ! -f $app ]]; then
    step "install: no tests/install/app.cpp, nothing to build against it"
    return
  fi
  pc=$(find "$stage" -path '*/pkgconfig/callmgr.pc' -print -quit)
  [[ -n $pc ]] || fail "install left no pkgconfig/callmgr.pc"
  pcdir=${pc%/*}
  step "install: building and running tests/install/app.cpp"
  # shellcheck disable=SC2046 # pkg-config's output is a list of flags
  c++ "$app" $(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs callmgr) -o "$SCRATCH/app" ||
    fail "tests/install/app.cpp does not build against the installed library"
  # It may serve RPC, so it runs on a test host like any such test.
  LD_LIBRARY_PATH=${pcdir%/*} bash "$ROOT/scripts/testhost.sh" run -- "$SCRATCH/app" ||
    fail "tests/install/app.cpp failed against the installed library"
  step "install: the installed callmgr-snap renders dialog 100"
  "$stage/bin/callmgr-snap" 100 "$SCRATCH/dialog100.png" && [[ -s $SCRATCH/dialog100.png ]] ||
    fail "the installed callmgr-snap does not run"
}

install_packages
build_and_test "$BUILD"
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
  build_and_test "$ASAN_BUILD" -DCALLMGR_SANITIZE=ON
check_install
step "all passed"
