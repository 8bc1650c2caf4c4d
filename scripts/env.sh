# Shared settings of the scripts: where the builds live and how Wine runs
# each of them. Sourced, not run.
#
# Each build has its own Wine prefix and its own logs:
#   i686 (the shipped 32-bit DLL): 32-bit Wine in a 32-bit prefix, build/wine-i686
#   x64  (the same sources for x86-64): wine64 in a 64-bit prefix, build/wine-x64
# SNAPVANE_ARCH picks one (default: the one `snapvane_default_arch` names).
ROOT=${ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export SNAPVANE_BUILD=${SNAPVANE_BUILD:-$ROOT/build}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer may wait for a person.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# What setup found out by running a 32-bit Windows program: "yes", or "no"
# followed by what running it said.
SNAPVANE_RUNS_32BIT_FILE=$SNAPVANE_BUILD/runs-32-bit.txt

snapvane_runs_32bit() {
  [ "$(head -c 3 "$SNAPVANE_RUNS_32BIT_FILE" 2>/dev/null)" = yes ]
}

# The build that runs the product where the machine can: the 32-bit one.
snapvane_default_arch() {
  if snapvane_runs_32bit; then echo i686; else echo x64; fi
}

# snapvane_use_arch ARCH: points the Wine settings at that build.
snapvane_use_arch() {
  export SNAPVANE_ARCH=$1
  export SNAPVANE_BIN=$SNAPVANE_BUILD/$1/bin
  export SNAPVANE_LOGS=$SNAPVANE_BUILD/logs-$1
  export WINEPREFIX=$SNAPVANE_BUILD/wine-$1
  case $1 in
    i686)
      export WINEARCH=win32
      export SNAPVANE_WINE=/usr/lib/wine/wine
      export SNAPVANE_WINESERVER=/usr/lib/wine/wineserver64
      ;;
    x64)
      export WINEARCH=win64
      export SNAPVANE_WINE=/usr/lib/wine/wine64
      export SNAPVANE_WINESERVER=/usr/lib/wine/wineserver64
      ;;
    *) echo "unknown build '$1' (i686 or x64)" >&2; return 1 ;;
  esac
  mkdir -p "$SNAPVANE_LOGS"
}

snapvane_use_arch "${SNAPVANE_ARCH:-$(snapvane_default_arch)}"

# snapvane_debian_source PACKAGE DIR: unpacks Debian bookworm's source package
# PACKAGE into DIR, unless a PACKAGE-* directory is there already. apt
# verifies it against the release's signed index, through a deb-src entry
# signed by Debian's keyring.
snapvane_debian_source() {
  local package=$1 dir=$2 sudo= entry=/etc/apt/sources.list.d/snapvane-source.sources
  [ -n "$(find "$dir" -maxdepth 1 -type d -name "$package-*" 2>/dev/null)" ] && return 0
  [ "$(id -u)" = 0 ] || sudo=sudo
  if [ ! -f "$entry" ]; then
    $sudo tee "$entry" > /dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  fi
  if [ -z "$(apt-cache showsrc "$package" 2>/dev/null)" ]; then
    $sudo apt-get update -q
  fi
  mkdir -p "$dir"
  (cd "$dir" && apt-get source -q "$package")
}
