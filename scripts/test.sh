#!/usr/bin/env bash
# The test command: installs what building and testing need (Debian 12),
# checks the format, builds, runs every test in a normal and in a sanitizer
# build, builds the tree with Clang and runs the fuzz harnesses briefly, then
# installs the library and builds an application against it with pkg-config
# and with CMake, and builds the Debian packages and the application from them.
# Runs as root: tests that serve RPC run on isolated test hosts
# (scripts/testhost.sh), which need network, mount and pid namespaces.
#
# Build directories (reused on the next run): build/, build-asan/ and
# build-clang/, or CALLMGR_BUILD_DIR, CALLMGR_ASAN_BUILD_DIR and
# CALLMGR_CLANG_BUILD_DIR.
#
# --deps-only [PACKAGE...]: only install the packages, and the Debian
# packages named after it, then stop (scripts/demo.sh and
# scripts/bench_compare.sh use it).
#
# Every build type must build, tests included: the trees cover GCC's
# optimisation levels between them, build/ at -O3 (Release), build-asan/ at
# -O0 (Debug) and the Debian package build at Debian's -O2, and Clang builds
# build-clang/ at -O2 (RelWithDebInfo).
set -euo pipefail

cd "$(dirname -- "${BASH_SOURCE[0]}")/.."
readonly ROOT=$PWD
readonly BUILD=${CALLMGR_BUILD_DIR:-build}
readonly ASAN_BUILD=${CALLMGR_ASAN_BUILD_DIR:-build-asan}
readonly CLANG_BUILD=${CALLMGR_CLANG_BUILD_DIR:-build-clang}

PACKAGES=(
  build-essential g++ cmake pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libtirpc-dev rpcbind iproute2 util-linux rpcsvc-proto
  binutils-mingw-w64-i686
  libfreetype-dev libpng-dev fonts-dejavu-core
  python3
  clang libclang-rt-14-dev clang-format
  g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix wine wine64
  g++-mingw-w64-i686 g++-mingw-w64-i686-posix wine32:i386
  libsdl2-dev xvfb xdotool imagemagick x11-utils weston
  debhelper dpkg-dev lintian fakeroot man-db groff-base
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
  # callmgr.dll is a 32-bit Windows DLL: its tests run in 32-bit Wine.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    quietly dpkg --add-architecture i386
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

# The peer of the installed applications: the foreign peer of the build
# tree, a protocol implementation that shares no code with the library, so
# the installed library alone speaks for host A.
foreign_peer() {
  local peer=$BUILD/tests/foreign/foreign_peer
  if [[ $peer != /* ]]; then peer=$ROOT/$peer; fi
  [[ -x $peer ]] || fail "$peer is missing: the installed application has no peer to call"
  printf '%s\n' "$peer"
}

# call_foreign_peer APP LIBDIR: APP, taking the library from LIBDIR, calls and
# is called by the foreign peer on a pair of test hosts.
call_foreign_peer() {
  local app=$1 libdir=$2 peer
  peer=$(foreign_peer) || exit 1
  LD_LIBRARY_PATH=$libdir bash "$ROOT/scripts/testhost.sh" pair -- \
    bash "$ROOT/tests/install/peer_call.sh" "$app" "$peer"
}

# build_app_pkgconfig PCDIR OUT and build_app_cmake PREFIX OUT: tests/install's
# application built the two ways the README tells users to, with pkg-config
# alone and as a CMake project (find_package and callmgr::callmgr).
build_app_pkgconfig() {
  local pcdir=$1 out=$2
  # shellcheck disable=SC2046 # pkg-config's output is a list of flags
  c++ "$ROOT/tests/install/app.cpp" $(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs callmgr) \
    -o "$out" || fail "tests/install/app.cpp does not build with pkg-config against $pcdir"
}
build_app_cmake() {
  local prefix=$1 out=$2
  quietly cmake -S "$ROOT/tests/install" -B "$out" -DCMAKE_PREFIX_PATH="$prefix"
  quietly cmake --build "$out"
  [[ -x $out/app ]] || fail "tests/install does not build with CMake against $prefix"
}

# An application outside the tree, built against the installed library with
# pkg-config and with CMake, each then calling and called by the foreign
# peer; the installed callmgr-snap renders a dialog.
check_install() {
  local stage=$SCRATCH/install pc pcdir page
  step "install: $BUILD into a staging prefix"
  quietly cmake --install "$BUILD" --prefix "$stage"
  pc=$(find "$stage" -path '*/pkgconfig/callmgr.pc' -print -quit)
  [[ -n $pc ]] || fail "install left no pkgconfig/callmgr.pc"
  pcdir=${pc%/*}
  for page in man1/cmcall.1 man1/callmgr-snap.1 man3/callmgr.3; do
    [[ -f $stage/share/man/$page ]] || fail "install left no share/man/$page"
  done
  step "install: building tests/install/app.cpp with pkg-config and with CMake"
  build_app_pkgconfig "$pcdir" "$SCRATCH/app"
  build_app_cmake "$stage" "$SCRATCH/app-cmake"

  step "install: the pkg-config application calls, and is called by, the foreign peer"
  call_foreign_peer "$SCRATCH/app" "${pcdir%/*}" ||
    fail "tests/install/app.cpp built with pkg-config failed against the installed library"
  step "install: the CMake application calls, and is called by, the foreign peer"
  call_foreign_peer "$SCRATCH/app-cmake/app" "${pcdir%/*}" ||
    fail "tests/install/app.cpp built with CMake failed against the installed library"
  step "install: the installed callmgr-snap renders dialog 100"
  "$stage/bin/callmgr-snap" 100 "$SCRATCH/dialog100.png" && [[ -s $SCRATCH/dialog100.png ]] ||
    fail "the installed callmgr-snap does not run"
}

# The Debian packages, built with Debian's tools from a copy of the tree in
# build-deb/ (or CALLMGR_DEB_BUILD_DIR), where they stay: dpkg-buildpackage
# writes beside the source folder.  lintian finds no error in them, and an
# application builds and runs from the unpacked packages alone.
check_packages() {
  local dir=${CALLMGR_DEB_BUILD_DIR:-build-deb} root libdir pkg deb lint
  if [[ $dir != /* ]]; then dir=$ROOT/$dir; fi
  step "packages: dpkg-buildpackage in $dir"
  rm -rf -- "$dir"
  mkdir -p -- "$dir/callmgr"
  tar -C "$ROOT" --exclude='./build*' --exclude=./.git --exclude=./out -cf - . |
    tar -C "$dir/callmgr" -xf -
  # The same compiler cache as the trees' builds, where there is one.
  (
    cd "$dir/callmgr" || exit 1
    if [[ -d /usr/lib/ccache ]]; then export PATH=/usr/lib/ccache:$PATH CCACHE_BASEDIR=$dir; fi
    DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" quietly dpkg-buildpackage -us -uc -b
  ) || exit 1
  step "packages: lintian"
  lint=$(lintian --fail-on error "$dir"/callmgr_*.changes 2>&1) ||
    fail "lintian finds errors in the packages:"$'\n'"$lint"
  # Its note that root runs it says nothing of the packages.
  lint=$(grep -v '^running with root privileges' <<<"$lint" || true)
  if [[ -n $lint ]]; then printf '  %s\n' "${lint//$'\n'/$'\n'  }"; fi

  step "packages: an application from the unpacked packages alone"
  root=$SCRATCH/debroot
  for pkg in libcallmgr0 libcallmgr-dev callmgr-tools; do
    deb=$(find "$dir" -maxdepth 1 -name "${pkg}_*.deb" -print -quit)
    [[ -n $deb ]] || fail "dpkg-buildpackage made no $pkg package"
    dpkg-deb -x "$deb" "$root"
  done
  libdir=$root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
  [[ -f $root/usr/share/man/man1/cmcall.1.gz && -f $root/usr/share/man/man3/callmgr.3.gz ]] ||
    fail "the packages hold no cmcall(1) or callmgr(3)"
  LD_LIBRARY_PATH=$libdir "$root/usr/bin/cmcall" --help >/dev/null ||
    fail "cmcall from callmgr-tools does not run"
  build_app_pkgconfig "$libdir/pkgconfig" "$SCRATCH/app-deb"
  build_app_cmake "$root/usr" "$SCRATCH/app-deb-cmake"
  step "packages: the packaged application calls, and is called by, the foreign peer"
  call_foreign_peer "$SCRATCH/app-deb" "$libdir" ||
    fail "tests/install/app.cpp failed against the library of libcallmgr0"
}

# The examples (examples/): a GLib main loop and a plain poll loop that run
# the call manager from the message descriptor, built against the library
# check_install staged, with pkg-config alone (libsdl2-dev already brings
# GLib's headers).  On a pair of test hosts the GLib one on host A calls the
# poll one on host B and then answers B's call.
check_examples() {
  local stage=$SCRATCH/install bin=$SCRATCH/examples/bin pc pcdir ex=$ROOT/examples
  pc=$(find "$stage" -path '*/pkgconfig/callmgr.pc' -print -quit)
  [[ -n $pc ]] || fail "install left no pkgconfig/callmgr.pc"
  pcdir=${pc%/*}
  mkdir -p "$bin"
  step "examples: building poll_call and glib_call"
  # shellcheck disable=SC2046 # pkg-config's output is a list of flags
  cc -Wall -Wextra -Werror "$ex/poll_call.c" "$ex/callapp.c" \
    $(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs callmgr) -o "$bin/poll_call" ||
    fail "examples/poll_call.c does not build against the installed library"
  # shellcheck disable=SC2046
  cc -Wall -Wextra -Werror "$ex/glib_call.c" "$ex/callapp.c" \
    $(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs callmgr glib-2.0) -o "$bin/glib_call" ||
    fail "examples/glib_call.c does not build against the installed library"
  step "examples: glib_call calls, and is called by, poll_call on another host"
  LD_LIBRARY_PATH=${pcdir%/*} bash "$ROOT/scripts/testhost.sh" pair -- \
    bash "$ROOT/tests/install/examples_pair.sh" "$bin" ||
    fail "the examples failed between two hosts"
}

if [[ ${1:-} == --deps-only ]]; then
  shift
  PACKAGES+=("$@")
  install_packages
  step "packages ready"
  exit 0
fi
install_packages
# One style for the whole tree: every C and C++ file as .clang-format has it.
check_format() {
  step "format: clang-format"
  local f bad=()
  while IFS= read -r -d '' f; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
  done < <(git -C "$ROOT" ls-files -z -- '*.c' '*.cpp' '*.h')
  ((${#bad[@]} == 0)) || fail "not formatted (clang-format -i): ${bad[*]}"
}

# The whole tree built with Clang, which also builds the fuzz harnesses;
# their short runs are its tests (the other tests ran in the GCC trees).
build_clang_and_fuzz() {
  step "$CLANG_BUILD: configure (Clang)"
  cmake -S "$ROOT" -B "$CLANG_BUILD" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCALLMGR_FUZZ=ON -DCALLMGR_BENCH=OFF >/dev/null
  step "$CLANG_BUILD: build"
  cmake --build "$CLANG_BUILD" -j"$(nproc)"
  step "$CLANG_BUILD: fuzz runs"
  ctest --test-dir "$CLANG_BUILD" -L fuzz --output-on-failure -j2
}

if [[ -d $ROOT/.git ]] && command -v git >/dev/null; then check_format; fi
build_and_test "$BUILD" -DCMAKE_BUILD_TYPE=Release
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
  build_and_test "$ASAN_BUILD" -DCMAKE_BUILD_TYPE=Debug -DCALLMGR_SANITIZE=ON
build_clang_and_fuzz
check_install
check_examples
check_packages
step "all passed"
