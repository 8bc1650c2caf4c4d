#!/usr/bin/env bash
# Sets everything up, builds both architectures and runs every test under Wine
# inside Xvfb: on the 32-bit build (the product) wherever this machine runs
# 32-bit programs, and on the 64-bit build everywhere. Arguments go to CTest,
# e.g. scripts/test.sh -R FeatureSearch.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$ROOT/scripts/setup.sh" || exit 1
. "$ROOT/scripts/env.sh"

cmake --build "$SNAPVANE_BUILD/i686" || exit 1
cmake --build "$SNAPVANE_BUILD/x64" || exit 1

builds=(x64)
snapvane_runs_32bit && builds=(i686 x64)

declare -A result=()
status=0 passed_all=0 failed_all=0

# record_ctest NAME EXIT-STATUS OUTPUT: counts what one CTest run gave.
record_ctest() {
  local name=$1 run_status=$2 output=$3 summary total failed
  # CTest's closing line: "97% tests passed, 3 tests failed out of 150".
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$output" | tail -1)
  total=$(sed -n 's/.* out of \([0-9]*\).*/\1/p' <<<"$summary"); total=${total:-0}
  failed=$(sed -n 's/.*passed, \([0-9]*\) tests\{0,1\} failed.*/\1/p' <<<"$summary"); failed=${failed:-0}
  passed_all=$((passed_all + total - failed)); failed_all=$((failed_all + failed))
  if [ "$run_status" = 0 ]; then
    result[$name]="passed: ${summary:-no tests ran}"
  else
    result[$name]="FAILED (exit $run_status): ${summary:-no summary}"; status=1
    [ "$failed" = 0 ] && failed_all=$((failed_all + 1))  # a run that failed without naming a test
  fi
}
for arch in "${builds[@]}"; do
  echo "test: the $arch build, under $( [ "$arch" = i686 ] && echo "32-bit Wine" || echo wine64 ) (logs: $SNAPVANE_BUILD/logs-$arch)"
  output=$SNAPVANE_BUILD/logs-$arch/test-output.txt
  mkdir -p "$(dirname "$output")"
  SNAPVANE_ARCH=$arch xvfb-run -a -s "-screen 0 1280x1024x24" "$ROOT/scripts/ctest-under-wine.sh" "$@" 2>&1 |
    tee "$output"
  record_ctest "$arch" "${PIPESTATUS[0]}" "$output"
done

# The pictures room natively, under the sanitizers: its unit tests, then a
# short fuzzing pass over every entry that takes a file's bytes.
echo "test: the pictures room natively, under AddressSanitizer and UndefinedBehaviorSanitizer"
output=$SNAPVANE_BUILD/native-test-output.txt
{ "$ROOT/scripts/native-build.sh" && ctest --test-dir "$SNAPVANE_BUILD/native" --output-on-failure "$@"; } 2>&1 |
  tee "$output"
record_ctest native "${PIPESTATUS[0]}" "$output"
# A run narrowed by CTest arguments is a quick one: no fuzzing then.
fuzz_seconds=${SNAPVANE_FUZZ_SECONDS:-15}
if [ $# -gt 0 ]; then
  result[fuzz]="not run, as the run was narrowed to: $*"
elif "$ROOT/scripts/fuzz.sh" "$fuzz_seconds"; then
  result[fuzz]="passed: no finding in $fuzz_seconds s for each target"
  passed_all=$((passed_all + 1))
else
  result[fuzz]="FAILED: a finding, see above"; status=1; failed_all=$((failed_all + 1))
fi
builds+=(native fuzz)

# What each failing test said, again at the end, where a shortened log keeps it.
for arch in i686 x64; do
  output=$SNAPVANE_BUILD/logs-$arch/test-output.txt
  [ -f "$output" ] && [[ "${result[$arch]:-}" == FAILED* ]] || continue
  echo
  echo "test: what the failing tests of the $arch build said:"
  grep -E -A8 ': Failure$|\*\*\*(Failed|Timeout|Exception)' "$output" | head -100
done

echo
echo "test: which builds ran, and what each gave:"
snapvane_runs_32bit || echo "  i686 (32-bit): not run, as this machine cannot run 32-bit programs: $(cut -c5- "$SNAPVANE_RUNS_32BIT_FILE")"
for arch in "${builds[@]}"; do echo "  $arch: ${result[$arch]}"; done
echo "test: $passed_all passed, $failed_all failed"
exit $status
