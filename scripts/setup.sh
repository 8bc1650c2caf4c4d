#!/usr/bin/env bash
# Installs what the build and the tests need (idempotent), configures the
# builds and creates the Wine prefix private to the build folder.
#
#   build/x64   64-bit build: run under wine64 by the tests and the stand-in host
#   build/i686  32-bit build: the shipped Snapvane.dll
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$ROOT/scripts/env.sh"

SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo

PACKAGES=(cmake ninja-build
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
          libwine-dev wine64-tools wine wine64 wine32:i386 xvfb xauth x11-utils imagemagick
          googletest nlohmann-json3-dev libjpeg-turbo-progs stress-ng nasm dpkg-dev)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# libjpeg-turbo from Debian's source package, built before the builds that link it.
"$ROOT/scripts/build-libjpeg.sh"

configure() {  # build folder, toolchain, extra options
  local dir=$1 toolchain=$2; shift 2
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain" "$@"
  fi
}
configure "$SNAPVANE_BUILD/x64" mingw-x86_64.cmake
configure "$SNAPVANE_BUILD/i686" mingw-i686.cmake -DSNAPVANE_TESTS=OFF

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  timeout 300 "$SNAPVANE_WINE" wineboot --init > "$SNAPVANE_BUILD/wineboot.log" 2>&1 || true
  timeout 120 "$SNAPVANE_WINESERVER" -w || true
  [ -f "$WINEPREFIX/system.reg" ] || { echo "setup: Wine prefix was not created, see $SNAPVANE_BUILD/wineboot.log" >&2; exit 1; }
fi

# Xvfb runs no window manager, and Wine waits two seconds for one whenever it
# hides a managed top-level window (every message box, every Exit). Unmanaged
# windows are hidden at once.
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg"; then
  timeout 120 "$SNAPVANE_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >> "$SNAPVANE_BUILD/wineboot.log" 2>&1 || true
fi
