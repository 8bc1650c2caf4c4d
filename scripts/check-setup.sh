#!/usr/bin/env bash
# Resolves every program the build and the scripts call to the Debian package
# that provides it, and fails when that package is neither one that setup
# installs nor one that those packages pull in (or an essential package every
# Debian machine has). A program installed by hand on this machine passes only
# if setup would have brought it too.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$ROOT/scripts/packages.sh"

strip_arch() { sed 's/:[a-z0-9]*$//'; }

# The packages setup installs and all they depend on, without recommends.
mapfile -t closure < <(
  apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "${SNAPVANE_PACKAGES[@]}" 2>/dev/null |
    sed -n 's/^ *\(Pre\)\{0,1\}Depends: <\{0,1\}\([^ >]*\)>\{0,1\}$/\2/p; s/^\([^ <][^ ]*\)$/\1/p' |
    strip_arch | sort -u)
declare -A brought=()
for package in "${closure[@]}"; do brought[$package]=1; done
for package in "${SNAPVANE_PACKAGES[@]}"; do brought[$(strip_arch <<<"$package")]=1; done

# Where Debian installs programs; a copy elsewhere (/usr/local, /opt, a home
# folder) was installed by hand, and a fresh machine would not have it.
debian_path() {  # program: its path in Debian's folders, or nothing
  local folder
  for folder in /usr/bin /bin /usr/sbin /sbin /usr/games; do
    [ -x "$folder/$1" ] && { echo "$folder/$1"; return 0; }
  done
  return 1
}

# owners PATH...: "path package" for each path a package installed, following
# links (alternatives) and the merged /bin and /usr/bin; one dpkg call in all.
owners() {
  local path candidates=()
  for path in "$@"; do
    candidates+=("$path" "$(readlink -f "$path")")
    case $path in /usr/bin/*) candidates+=("/bin/${path#/usr/bin/}") ;; /bin/*) candidates+=("/usr$path") ;; esac
  done
  # "pkg[:arch][, pkg2[:arch]]: path"; the first package is enough.
  dpkg-query -S "${candidates[@]}" 2>/dev/null | grep -v '^diversion' |
    awk '{ i = index($0, ": /"); if (!i) next; split(substr($0, 1, i - 1), owners, ", ");
           sub(/:.*/, "", owners[1]); print substr($0, i + 2), owners[1] }'
}

status=0
declare -A path_of=()
for program in "${SNAPVANE_PROGRAMS[@]}"; do
  if [[ $program == /* ]]; then path=$program; else path=$(debian_path "$program" || true); fi
  if [ -z "$path" ] || [ ! -e "$path" ]; then
    elsewhere=$(command -v "$program" || true)
    echo "check-setup: FAIL: $program is not installed from a Debian package${elsewhere:+ (only $elsewhere, put there by hand)}; add the package that provides it to scripts/packages.sh"
    status=1; continue
  fi
  path_of[$program]=$path
done

declare -A package_of=()
while read -r file package; do package_of[$file]=${package_of[$file]:-$package}; done < <(
  paths=(); for program in "${!path_of[@]}"; do paths+=("${path_of[$program]}"); done
  [ ${#paths[@]} -gt 0 ] && owners "${paths[@]}")

essential() {  # package: on every Debian machine, whatever setup installs
  local fields
  fields=$(dpkg-query -W -f='${Essential} ${Priority}\n' "$1" 2>/dev/null | head -1)
  [[ $fields == yes* || $fields == *required ]]
}

checked=0
for program in "${!path_of[@]}"; do
  path=${path_of[$program]}
  package=
  for candidate in "$path" "$(readlink -f "$path")" "/bin/${path#/usr/bin/}" "/usr$path"; do
    package=${package_of[$candidate]:-}
    [ -n "$package" ] && break
  done
  if [ -z "$package" ]; then
    echo "check-setup: FAIL: $program ($path) belongs to no Debian package; it was installed by hand"
    status=1; continue
  fi
  checked=$((checked + 1))
  if [ -z "${brought[$package]:-}" ] && ! essential "$package"; then
    echo "check-setup: FAIL: $program comes from the package $package, which setup neither installs nor pulls in; add $package to scripts/packages.sh"
    status=1
  fi
done
if [ $status = 0 ]; then
  echo "check-setup: all ${checked} programs and files come from packages that setup installs"
fi
exit $status
