#!/usr/bin/env bash
# Installs what building, testing, running and benchmarking need (idempotent),
# checks that nothing they call is missing from that list, configures both
# builds, creates each build's Wine prefix, and finds out by running one
# whether this machine runs 32-bit Windows programs.
#
#   build/i686  the shipped 32-bit Snapvane.dll, with its tests
#   build/x64   the same sources for x86-64, with their tests
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$ROOT/scripts/env.sh"
. "$ROOT/scripts/packages.sh"

SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo

missing=()
for package in "${SNAPVANE_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Every program the build and the scripts call must come with a package above,
# so that a hand install on one machine cannot hide a gap from a fresh one.
"$ROOT/scripts/check-setup.sh"

# libjpeg-turbo from Debian's source package, built before the builds that link it.
"$ROOT/scripts/build-libjpeg.sh"

configure() {  # build folder, toolchain: both builds with their tests
  local dir=$1 toolchain=$2
  if [ ! -f "$dir/build.ninja" ] || grep -q '^SNAPVANE_TESTS:BOOL=OFF' "$dir/CMakeCache.txt" 2>/dev/null; then
    # Optimised as shipped, without debug information: it would take CI a
    # third more time to compile, and the setup program strips it anyway.
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain" -DSNAPVANE_TESTS=ON
  fi
}
configure "$SNAPVANE_BUILD/i686" mingw-i686.cmake
configure "$SNAPVANE_BUILD/x64" mingw-x86_64.cmake

# create_prefix ARCH: the build's own Wine prefix. Whatever Wine starts here
# must be gone before a program runs under Xvfb: a wineserver still up from
# setup (which has no display) would hand that program a desktop without one.
create_prefix() {
  snapvane_use_arch "$1"
  local log=$SNAPVANE_LOGS/wineboot.log
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "setup: creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    timeout 300 "$SNAPVANE_WINE" wineboot --init > "$log" 2>&1 || true
    timeout 120 "$SNAPVANE_WINESERVER" -w || true
    [ -f "$WINEPREFIX/system.reg" ] || { echo "setup: Wine prefix was not created, see $log" >&2; return 1; }
  fi
  # Xvfb runs no window manager, and Wine waits two seconds for one whenever
  # it hides a managed top-level window (every message box, every Exit).
  # Unmanaged windows are hidden at once.
  if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg"; then
    timeout 120 "$SNAPVANE_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >> "$log" 2>&1 || true
  fi
  # A program that crashes gets Wine's crash dialog, which on Xvfb nobody
  # answers: the program would seem to hang. Without the dialog the debugger
  # writes the backtrace to the program's output and the program ends.
  if ! grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg"; then
    timeout 120 "$SNAPVANE_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      >> "$log" 2>&1 || true
  fi
  "$ROOT/scripts/wine-fonts.sh" "$WINEPREFIX"
  timeout 120 "$SNAPVANE_WINESERVER" -w || true
}

# Whether 32-bit Windows programs run here differs from machine to machine
# (the kernel's IA-32 emulation may be off); running one is the only sure test.
find_out_whether_32bit_runs() {
  [ -f "$SNAPVANE_RUNS_32BIT_FILE" ] && return 0
  local probe=$SNAPVANE_BUILD/probe-32bit
  mkdir -p "$probe"
  printf 'int main(void) { return 42; }\n' > "$probe/probe.c"
  i686-w64-mingw32-gcc-posix -o "$probe/probe.exe" "$probe/probe.c"
  local said status=0
  if create_prefix i686 > "$probe/prefix.log" 2>&1; then
    said=$(timeout 120 "$SNAPVANE_WINE" "$probe/probe.exe" 2>&1) || status=$?
    timeout 120 "$SNAPVANE_WINESERVER" -w || true
  else
    said=$(tail -3 "$probe/prefix.log"; tail -3 "$SNAPVANE_LOGS/wineboot.log" 2>/dev/null) status=1
  fi
  if [ "$status" = 42 ]; then
    echo yes > "$SNAPVANE_RUNS_32BIT_FILE"
  else
    echo "no: a 32-bit Windows program ended with $status: $(echo "$said" | tr '\n' ' ' | cut -c1-300)" \
      > "$SNAPVANE_RUNS_32BIT_FILE"
    rm -rf "$SNAPVANE_BUILD/wine-i686"
  fi
}

find_out_whether_32bit_runs
if snapvane_runs_32bit; then
  create_prefix i686
  echo "setup: this machine runs 32-bit Windows programs; the 32-bit build is tested and run"
else
  echo "setup: this machine cannot run 32-bit Windows programs ($(cut -c5- "$SNAPVANE_RUNS_32BIT_FILE"))"
  echo "setup: the 32-bit build is compiled and checked; the 64-bit build is tested and run"
fi
create_prefix x64
