#!/usr/bin/env bash
# The setup program end to end, in a fresh Wine prefix of its own:
#
#   install an older version silently, then this one over it: the file, the
#   registration (exactly one, of the new file) and the uninstall entry;
#   the stand-in host creates the tool by its ProgID and a click shows the viewer;
#   while a host has the DLL loaded, setup /S ends and changes nothing, and a
#   person is told so and offered Retry, which installs once the host is closed;
#   install over it, in the same folder and in another one;
#   uninstall silently (nothing of ours is left), and once more (harmless);
#   a run without administrator rights is refused, and a person is told why.
#
#   tests/installer/installer-tests.sh BUILD_DIR [WORK_DIR]
#
# BUILD_DIR is build/i686 (the product, under 32-bit Wine) or build/x64 (the
# same setup script built for the 64-bit DLL, under wine64). It runs itself
# under an Xvfb of its own, so that its windows never cover those of tests
# running beside it.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
HERE=$ROOT/tests/installer
BUILD=$(cd "${1:?usage: installer-tests.sh BUILD_DIR [WORK_DIR]}" && pwd)
WORK=${2:-$BUILD/installer-tests}

# Where this machine runs 32-bit programs, the product's own setup is tested
# on the 32-bit build; the 64-bit build's run stands in for it only elsewhere.
if [ "$(basename "$BUILD")" = x64 ] && [ "$(head -c 3 "$BUILD/../runs-32-bit.txt" 2>/dev/null)" = yes ]; then
  echo "SKIP: the 32-bit build's run tests the setup program on this machine"
  exit 77
fi

if [ -z "${SNAPVANE_INSTALLER_TESTS_XVFB:-}" ]; then
  SNAPVANE_INSTALLER_TESTS_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$BUILD" "$WORK"
fi

rm -rf "$WORK"
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)

# --- The package under test, made by the packaging script itself -----------

"$ROOT/scripts/package.sh" --no-setup --build "$BUILD" --out "$WORK/dist" > "$WORK/package.log" 2>&1 ||
  { cat "$WORK/package.log"; echo "FAIL: packaging"; exit 1; }
SETUP_EXE=$(grep -- '-setup\.exe$' "$WORK/package.log")
ZIP=$(grep -- '\.zip$' "$WORK/package.log")
VERSION=$(basename "$SETUP_EXE" | sed -E 's/^Snapvane-([0-9.]+)(-x64)?-setup\.exe$/\1/')
mkdir -p "$WORK/shipped"
python3 -m zipfile -e "$ZIP" "$WORK/shipped"

# An older version: the same DLL with 0.9.0.0 in its version resource,
# packaged by the same script.
mkdir -p "$WORK/older/bin"
python3 - "$WORK/shipped/Snapvane.dll" "$WORK/older/bin/Snapvane.dll" << 'EOF'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
fixed = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO
assert fixed > 0, "no version resource"
struct.pack_into("<IIII", data, fixed + 8, 0x00000009, 0, 0x00000009, 0)  # file and product 0.9.0.0
open(sys.argv[2], "wb").write(data)
EOF
"$ROOT/scripts/package.sh" --no-setup --build "$WORK/older" --out "$WORK/older/dist" > "$WORK/package-older.log" 2>&1 ||
  { cat "$WORK/package-older.log"; echo "FAIL: packaging the older version"; exit 1; }
OLDER_SETUP=$(grep -- '-setup\.exe$' "$WORK/package-older.log")
python3 -m zipfile -e "$(grep -- '\.zip$' "$WORK/package-older.log")" "$WORK/older/shipped"

export WINEPREFIX=$WORK/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=
if [[ $SETUP_EXE == *-x64-setup.exe ]]; then
  export WINEARCH=win64; WINE=/usr/lib/wine/wine64; BUILD_KIND="64-bit build (x64 setup, wine64)"
else
  export WINEARCH=win32; WINE=/usr/lib/wine/wine; BUILD_KIND="32-bit build (the product, 32-bit Wine)"
fi
WINESERVER=/usr/lib/wine/wineserver
# A kernel without 32-bit support cannot start the 32-bit Wine at all; the
# 64-bit build's run of this test stands in for it there.
if ! "$WINE" --version > /dev/null 2>&1; then
  echo "SKIP: $WINE cannot run on this machine"
  exit 77
fi
echo "installer tests: $(basename "$SETUP_EXE") of the $BUILD_KIND"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
check() {  # description, command...
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

HOST_PID=
# The prefix (over half a gigabyte) is kept only when something failed.
cleanup() {
  [ -n "$HOST_PID" ] && kill "$HOST_PID" 2> /dev/null
  "$WINESERVER" -k > /dev/null 2>&1
  timeout 60 "$WINESERVER" -w > /dev/null 2>&1
  [ "$failures" != 0 ] || rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# Runs a Windows program and waits until every process it started has ended
# (the uninstaller hands its work to a copy of itself in the temporary folder).
run() {
  timeout --kill-after=10 300 "$WINE" "$@" >> "$WORK/wine.log" 2>&1
  local status=$?
  timeout 120 "$WINESERVER" -w
  return $status
}
unix_path() { timeout 60 "$WINE" winepath -u "$1" 2> /dev/null; }
# Presses a button or reads a message of setup's windows, as a person would.
drive() { timeout 120 "$WINE" "$BUILD/bin/installer_window_driver.exe" "$@" 2>> "$WORK/wine.log" | tr -d '\r'; }

# --- A fresh prefix ----------------------------------------------------------

timeout 300 "$WINE" wineboot --init > "$WORK/wineboot.log" 2>&1
timeout 120 "$WINESERVER" -w
[ -f "$WINEPREFIX/system.reg" ] || { echo "FAIL: no Wine prefix"; exit 1; }
"$ROOT/scripts/wine-fonts.sh" "$WINEPREFIX"
# Xvfb has no window manager; unmanaged windows hide at once.
run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f

INSTDIR='C:\Program Files\Snapvane'
# /D= takes the rest of the command line unquoted, and Wine quotes an
# argument holding a blank: this folder has none.
OTHERDIR='C:\GIS\Snapvane'
CLSID='{AAB9E46D-83E3-4B7C-B8C9-3AE897662DF7}'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Snapvane'
HOST_LIBRARY='{866AE5D3-530C-11D2-A2BD-0000F8774FB5}'
# Everything by which a key can be ours: the ProgID, the class, the
# interface, the type library, the file.
OURS='Project1\.MyIcommand|AAB9E46D-83E3-4B7C-B8C9-3AE897662DF7|78E3D0EA-58D6-4084-BD2D-B451A0AB371F|24E0AFA0-2039-4C8D-BF1A-624C70FB7B40|Snapvane'

# The registry as text: one line per key or value, key paths in brackets.
registry() {  # key, name of the dump
  local file=$WORK/$2.reg
  rm -f "$file"
  timeout 120 "$WINE" reg export "$1" "$(timeout 60 "$WINE" winepath -w "$file" 2> /dev/null)" /y >> "$WORK/wine.log" 2>&1
  if [ -f "$file" ]; then iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r'; fi
}
# Lines of the machine's and the user's classes that are ours.
our_class_lines() {
  { registry 'HKLM\Software\Classes' classes; registry 'HKCU\Software\Classes' user-classes; } | grep -i -E "$OURS"
}
reg_value() {  # key, value name ("" for the default)
  local dump
  dump=$(registry "$1" value) || return 1
  if [ -z "$2" ]; then
    printf '%s\n' "$dump" | sed -n '2,/^$/p' | sed -n 's/^@="\(.*\)"$/\1/p' | head -1
  else
    printf '%s\n' "$dump" | sed -n '2,/^$/p' | sed -n "s/^\"$2\"=\\(.*\\)$/\\1/p" | head -1
  fi
}
# A path as the registry export writes it (backslashes doubled).
escaped() { printf '%s' "$1" | sed 's/\\/\\\\/g'; }

# Checks that exactly one registration of ours exists and that every value
# naming a file names the DLL in $1.
check_registered_at() {
  local folder=$1 lines files
  lines=$(our_class_lines)
  files=$(printf '%s\n' "$lines" | grep -i 'snapvane\.dll')
  check "the ProgID names the class" \
    test "$(reg_value 'HKCR\Project1.MyIcommand\CLSID' '')" = "$CLSID"
  check "the class's server is $folder\\Snapvane.dll" \
    test "$(reg_value "HKCR\\CLSID\\$CLSID\\InprocServer32" '')" = "$(escaped "$folder\\Snapvane.dll")"
  check "the class is apartment-threaded" \
    test "$(reg_value "HKCR\\CLSID\\$CLSID\\InprocServer32" ThreadingModel)" = '"Apartment"'
  check "the type library is registered from the DLL" \
    grep -q -i -E '^\[.*\\TypeLib\\\{24E0AFA0-2039-4C8D-BF1A-624C70FB7B40\}\\61\.0\\0\\win(32|64)\]' <<< "$lines"
  check "every registered file is $folder\\Snapvane.dll (found $(wc -l <<< "$files"))" \
    test -z "$(grep -v -i -F "\"$(escaped "$folder\\Snapvane.dll")\"" <<< "$files")"
  check "the class is registered once" \
    test "$(grep -c -i "^\[.*\\\\CLSID\\\\$CLSID\]" <<< "$lines")" = 1
}

check_installed_at() {  # folder [version DLL]
  local folder=$1 version=${2:-$VERSION} dll=${3:-$WORK/shipped/Snapvane.dll} unix
  unix=$(unix_path "$folder")
  check "Snapvane.dll in $folder is the DLL of $version" cmp -s "$unix/Snapvane.dll" "$dll"
  check "README.txt and NOTICES.txt are installed" test -s "$unix/README.txt" -a -s "$unix/NOTICES.txt"
  check "the uninstaller is installed" test -f "$unix/uninstall.exe"
  check_registered_at "$folder"
  local entry
  entry=$(registry "$UNINSTALL_KEY" uninstall-entry)
  check "the uninstall entry names Snapvane" grep -q -x '"DisplayName"="Snapvane"' <<< "$entry"
  check "the uninstall entry names the publisher" grep -q -x '"Publisher"="Tellurix"' <<< "$entry"
  check "the uninstall entry has version $version" grep -q -x "\"DisplayVersion\"=\"$version\"" <<< "$entry"
  check "the uninstall entry has a size" grep -q -E '^"EstimatedSize"=dword:0*[1-9a-f][0-9a-f]*$' <<< "$entry"
  check "the uninstall entry has the uninstall command" \
    grep -q -x -F "\"UninstallString\"=\"\\\"$(escaped "$folder\\uninstall.exe")\\\"\"" <<< "$entry"
  check "the uninstall entry has the quiet uninstall command" \
    grep -q -x -F "\"QuietUninstallString\"=\"\\\"$(escaped "$folder\\uninstall.exe")\\\" /S\"" <<< "$entry"
  check "the uninstall entry has the folder" \
    grep -q -x -F "\"InstallLocation\"=\"$(escaped "$folder")\"" <<< "$entry"
}

check_nothing_of_ours() {
  local lines
  lines=$(our_class_lines)
  check "no class, ProgID, interface or type library of ours is left" test -z "$lines"
  [ -z "$lines" ] || printf '  %s\n' "$lines" | head -20
  check "no uninstall entry is left" test -z "$(registry "$UNINSTALL_KEY" uninstall-entry)"
  check "the folder $INSTDIR is gone" test ! -e "$(unix_path "$INSTDIR")"
  check "the folder $OTHERDIR is gone" test ! -e "$(unix_path "$OTHERDIR")"
  check "the host's own type library stays registered" \
    test -n "$(registry "HKLM\\Software\\Classes\\TypeLib\\$HOST_LIBRARY" host-library)"
}

# --- The stand-in host, copied beside no DLL: it uses the installed one -------

HOST_DIR=$WORK/host
mkdir -p "$HOST_DIR"
cp "$BUILD/bin/snapvane_host.exe" "$BUILD/bin/HostGis.tlb" "$BUILD/bin/record_command_line.exe" "$HOST_DIR/"
host_log_check() {  # log file; prints what is wrong
  python3 - "$1" << 'EOF'
import json, sys
events = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8") if line.strip()]
def first(kind):
    return next((e for e in events if e["event"] == kind), None)
tool, viewer, press, end = first("tool"), first("viewer"), first("press_result"), first("end")
problems = []
if not tool or tool["caption"] != "Picture Display" or tool["category"] != "Tellurix":
    problems.append("the tool was not created by its ProgID: %s" % tool)
if not viewer or viewer["title"] != "Display Picture Attributes" \
        or viewer["chooser"]["entries"] != ["Photo: site01.jpg", "Sketch: site01-sketch.gif"] \
        or viewer["attributes"][0]["value"] != "S-01" or viewer["picture"].get("empty", True):
    problems.append("the click showed no viewer with a picture: %s" % viewer)
if not press or press["hresult"] != "0x00000000":
    problems.append("the click failed: %s" % press)
if not end or end["exit_code"] != 0:
    problems.append("the run ended with %s" % end)
print("; ".join(problems))
EOF
}

# --- Install silently: an older version, then this one over it ---------------

check "the zip holds the DLL, the read-me and the notices" \
  test "$(ls "$WORK/shipped" | tr '\n' ' ')" = "NOTICES.txt README.txt Snapvane.dll "
names_both() { grep -q -F "$1" "$3" && grep -q -F "$2" "$3"; }
check "the notices name the mingw-w64 runtime and GCC's libraries" \
  names_both 'mingw-w64' 'GCC' "$WORK/shipped/NOTICES.txt"

run "$OLDER_SETUP" /S
check "setup /S of $(basename "$OLDER_SETUP") succeeds" test $? = 0
check_installed_at "$INSTDIR" 0.9.0.0 "$WORK/older/shipped/Snapvane.dll"

run "$SETUP_EXE" /S
check "setup /S of $VERSION over 0.9.0.0 succeeds" test $? = 0
check_installed_at "$INSTDIR"

# --- The host creates the tool by its ProgID; a click shows the viewer -------

timeout --kill-after=10 180 "$WINE" "$HOST_DIR/snapvane_host.exe" --script "$HERE/installed-tool.json" \
  --log "$WORK/host.log" >> "$WORK/wine.log" 2>&1
status=$?
timeout 120 "$WINESERVER" -w
problems=$(host_log_check "$WORK/host.log" 2>&1)
check "the host ran its script (exit code $status)" test $status = 0
check "the host created the tool and a click showed the viewer ${problems:+($problems)}" test -z "$problems"
check "the host registered nothing of its own" \
  test "$(reg_value "HKCR\\CLSID\\$CLSID\\InprocServer32" '')" = "$(escaped "$INSTDIR\\Snapvane.dll")"

# --- A host has the DLL loaded: setup says so and changes nothing ------------

# Starts the host on the sample map and waits until it has the DLL in $1 loaded.
start_host() {
  (cd "$ROOT/samples" && exec "$WINE" "$HOST_DIR/snapvane_host.exe" field-survey.json >> "$WORK/wine.log" 2>&1) &
  HOST_PID=$!
  local dll
  dll=$(realpath "$(dirname "$(unix_path "$1")")")/Snapvane.dll  # as /proc names it
  for _ in $(seq 1 300); do
    grep -q -F "$dll" "/proc/$HOST_PID/maps" 2> /dev/null && return 0
    sleep 0.2
  done
  return 1
}
stop_host() {
  [ -n "$HOST_PID" ] || return 0
  kill "$HOST_PID" 2> /dev/null
  wait "$HOST_PID" 2> /dev/null
  HOST_PID=
}

cp "$WORK/shipped/Snapvane.dll" "$WORK/before.dll"
installed_dll=$(realpath "$(unix_path "$INSTDIR")")/Snapvane.dll
if start_host "$INSTDIR\\Snapvane.dll"; then
  timeout --kill-after=10 300 "$WINE" "$SETUP_EXE" /S >> "$WORK/wine.log" 2>&1
  status=$?
  check "setup /S ends with exit code 3 while the DLL is in use (got $status)" test $status = 3
  check "the DLL in use is left as it was" cmp -s "$installed_dll" "$WORK/before.dll"
  check "its registration is left as it was" \
    test "$(reg_value "HKCR\\CLSID\\$CLSID\\InprocServer32" '')" = "$(escaped "$INSTDIR\\Snapvane.dll")"

  # A person: setup says so and offers to retry; once the host is closed,
  # Retry installs.
  "$WINE" "$SETUP_EXE" >> "$WORK/wine.log" 2>&1 &
  setup_pid=$!
  drive click '&Next >' 60 && drive click '&Install' 30
  message=$(drive expect 'Snapvane.dll is in use' 30)
  check "setup tells a person that the DLL is in use and how to go on ($message)" \
    grep -q -F 'A program, most likely the host GIS, has Picture Display loaded. Close it and choose Retry' <<< "$message"
  stop_host
  drive click '&Retry' 30 && drive click '&Finish' 60
  wait "$setup_pid"
  status=$?
  check "after Retry setup finishes (exit code $status)" test $status = 0
  check "after Retry the DLL is installed" cmp -s "$installed_dll" "$WORK/shipped/Snapvane.dll"
else
  fail "the host did not load the installed DLL"
fi
stop_host
timeout 120 "$WINESERVER" -w

# --- Install over it: the same folder, then another one ----------------------

run "$SETUP_EXE" /S
check "setup /S over the installed copy succeeds" test $? = 0
check_installed_at "$INSTDIR"

run "$SETUP_EXE" /S "/D=$OTHERDIR"
check "setup /S /D= into another folder succeeds" test $? = 0
check "the earlier folder is gone" test ! -e "$(unix_path "$INSTDIR")"
check_installed_at "$OTHERDIR"

# --- Uninstall while a host has the DLL loaded: it takes nothing away --------
# (run in place with _?=, so that its own exit code is seen)

cp "$(unix_path "$OTHERDIR")/uninstall.exe" "$WORK/uninstall-copy.exe"
if start_host "$OTHERDIR\\Snapvane.dll"; then
  timeout --kill-after=10 300 "$WINE" "$WORK/uninstall-copy.exe" /S "_?=$OTHERDIR" >> "$WORK/wine.log" 2>&1
  status=$?
  check "uninstall /S ends with exit code 3 while the DLL is in use (got $status)" test $status = 3
  check_installed_at "$OTHERDIR"
else
  fail "the host did not load the DLL in $OTHERDIR"
fi
stop_host
timeout 120 "$WINESERVER" -w

# --- Uninstall, then once more -----------------------------------------------

quiet=$(reg_value "$UNINSTALL_KEY" QuietUninstallString)
check "the quiet uninstall command is the installed uninstaller with /S" \
  test "$quiet" = "\"\\\"$(escaped "$OTHERDIR\\uninstall.exe")\\\" /S\""
run "$OTHERDIR\\uninstall.exe" /S
check "uninstall /S succeeds" test $? = 0
check_nothing_of_ours

run "$WORK/uninstall-copy.exe" /S "_?=$OTHERDIR"
check "a second uninstall succeeds" test $? = 0
check_nothing_of_ours

# --- Without administrator rights --------------------------------------------
# Wine reports every account as an administrator, whatever the program's
# manifest asks for, so the refusal is shown by the same script built to see
# a plain user's account.

"$ROOT/scripts/package.sh" --no-setup --build "$BUILD" --out "$WORK/as-user" --account-for-tests User \
  > "$WORK/package-as-user.log" 2>&1 || fail "packaging the plain-user setup"
AS_USER=$(grep -- '-setup\.exe$' "$WORK/package-as-user.log")
run "$AS_USER" /S
status=$?
# 740, ERROR_ELEVATION_REQUIRED; a Unix exit status keeps its low 8 bits.
check "setup /S refuses a plain user with exit code 740 (got $status)" test $status = $((740 % 256))
"$WINE" "$AS_USER" >> "$WORK/wine.log" 2>&1 &
setup_pid=$!
message=$(drive expect 'needs administrator rights' 60)
check "setup tells a plain user why it refuses ($message)" \
  grep -q -F 'Snapvane is installed for every user of this computer, so its setup needs administrator rights.' <<< "$message"
drive click 'OK' 30
wait "$setup_pid"
status=$?
check "setup refuses a plain user with exit code 740 (got $status)" test $status = $((740 % 256))
check "a refused setup installs nothing" test ! -e "$(unix_path "$INSTDIR")"
check "a refused setup registers nothing" test -z "$(our_class_lines)"

echo "installer tests: $failures failed"
[ $failures = 0 ]
