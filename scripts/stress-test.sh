#!/usr/bin/env bash
# Runs the whole suite (scripts/test.sh, with its arguments) while two
# CPU-bound processes run beside it, as on a desktop busy with other
# programs. The load is started here and stopped when the suite ends.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$ROOT/scripts/setup.sh" || exit 1

stress-ng --cpu 2 --cpu-method all --quiet &
load=$!
trap 'kill "$load" 2> /dev/null; wait "$load" 2> /dev/null' EXIT
echo "stress-test: two CPU-bound workers run beside the suite (stress-ng, pid $load)"
"$ROOT/scripts/test.sh" "$@"
