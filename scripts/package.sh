#!/usr/bin/env bash
# Builds the Windows packages of Snapvane from the 32-bit build, the product:
#
#   dist/Snapvane-<version>-setup.exe   the setup program (installer/Snapvane.nsi)
#   dist/Snapvane-<version>.zip         Snapvane.dll, README.txt, NOTICES.txt
#
# <version> is the DLL's own, read from its version resource by makensis.
#
#   scripts/package.sh [--build DIR] [--out DIR] [--no-setup] [--account-for-tests TYPE]
#
# --build build/x64 packages the 64-bit build the same way, its files named
# ...-x64-...; the installer tests use it where 32-bit programs cannot run.
# --no-setup skips setting up and building (the tests package a build that
# is already there). --account-for-tests makes a setup for the tests only,
# which takes the account to be of TYPE ("User": not an administrator).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

BUILD=$ROOT/build/i686
OUT=$ROOT/dist
SETUP=1
ACCOUNT=
while [ $# -gt 0 ]; do
  case $1 in
    --build) BUILD=$(cd "$2" && pwd); shift 2 ;;
    --out) mkdir -p "$2"; OUT=$(cd "$2" && pwd); shift 2 ;;
    --no-setup) SETUP=0; shift ;;
    --account-for-tests) ACCOUNT=$2; shift 2 ;;
    *) echo "usage: scripts/package.sh [--build DIR] [--out DIR] [--no-setup] [--account-for-tests TYPE]" >&2; exit 2 ;;
  esac
done

if [ $SETUP = 1 ]; then
  "$ROOT/scripts/setup.sh"
  cmake --build "$BUILD" --target snapvane
fi
DLL=$BUILD/bin/Snapvane.dll
[ -f "$DLL" ] || { echo "package: $DLL is missing; build it first" >&2; exit 1; }

# The architecture is the DLL's own.
case $(x86_64-w64-mingw32-objdump -f "$DLL") in
  *pei-i386*) ARCH=i686; SUFFIX=; DEFINES=(); STRIP=i686-w64-mingw32-strip ;;
  *pei-x86-64*) ARCH=x86_64; SUFFIX=-x64; DEFINES=(-DX64); STRIP=x86_64-w64-mingw32-strip ;;
  *) echo "package: $DLL is no Windows DLL of a known kind" >&2; exit 1 ;;
esac
[ -z "$ACCOUNT" ] || DEFINES+=(-DACCOUNT_FOR_TESTS="$ACCOUNT")

STAGE=$(mktemp -d)
trap 'rm -rf "$STAGE"' EXIT
mkdir -p "$STAGE/files" "$OUT"

# The build keeps debugging information; the shipped DLL does not.
"$STRIP" --strip-debug -o "$STAGE/files/Snapvane.dll" "$DLL"

# Windows users read text files with CR LF line ends.
sed 's/$/\r/' "$ROOT/installer/README.txt" > "$STAGE/files/README.txt"

# The licence notices of what is compiled into the DLL: the mingw-w64
# runtime and winpthreads, GCC's libgcc and libstdc++ (linked statically),
# and libjpeg-turbo when the DLL holds its code (its copyright string).
# Debian's copyright files are the notices of the very code that was linked.
notice_packages=(mingw-w64-$([ $ARCH = i686 ] && echo i686 || echo x86-64)-dev gcc-mingw-w64-base)
if grep -a -q -e 'D. R. Commander' -e 'Thomas G. Lane' "$DLL"; then
  notice_packages+=(libjpeg62-turbo)
fi
{
  echo "Snapvane.dll contains code of the following libraries, compiled in"
  echo "statically. Their copyright notices and licences follow."
  for package in "${notice_packages[@]}"; do
    copyright=/usr/share/doc/$package/copyright
    [ -f "$copyright" ] || { echo "package: $copyright is missing (install $package)" >&2; exit 1; }
    printf '\n\n==== %s ====\n\n' "$package"
    cat "$copyright"
  done
} | sed 's/$/\r/' > "$STAGE/files/NOTICES.txt"

makensis -V2 -NOCD "${DEFINES[@]}" -DDLL="$STAGE/files/Snapvane.dll" -DFILES="$STAGE/files" -DOUTDIR="$OUT" \
  -DVERSION_FILE="$STAGE/version" "$ROOT/installer/Snapvane.nsi" > "$STAGE/makensis.log" 2>&1 ||
  { cat "$STAGE/makensis.log" >&2; exit 1; }
VERSION=$(cat "$STAGE/version")
SETUP_EXE=$OUT/Snapvane-$VERSION$SUFFIX-setup.exe
[ -f "$SETUP_EXE" ] || { echo "package: makensis made no $SETUP_EXE" >&2; exit 1; }

ZIP=$OUT/Snapvane-$VERSION$SUFFIX.zip
rm -f "$ZIP"
(cd "$STAGE/files" && zip -q -X "$ZIP" Snapvane.dll README.txt NOTICES.txt)

echo "$SETUP_EXE"
echo "$ZIP"
