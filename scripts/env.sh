# Shared settings of the scripts: where the build lives and how Wine is run.
# Sourced, not run.
ROOT=${ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export SNAPVANE_BUILD=${SNAPVANE_BUILD:-$ROOT/build}
export WINEPREFIX=${WINEPREFIX:-$SNAPVANE_BUILD/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer may wait for a person.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export SNAPVANE_WINE=${SNAPVANE_WINE:-/usr/lib/wine/wine64}
export SNAPVANE_WINESERVER=${SNAPVANE_WINESERVER:-/usr/lib/wine/wineserver64}
