# Shared by test.sh and tools/fuzz/fuzz-long.sh: one libFuzzer run over a copy
# of a target's committed corpus and the verdict on its log, and many such
# runs side by side.
#   fuzz_run FUZZER SECONDS LOG ARTIFACTS [extra libFuzzer flags...]
# Runs FUZZER for SECONDS over a fresh copy of tests/fuzz/corpus/<name>/ and
# returns 0 only when the run ended cleanly and its log holds no report of
# either sanitizer, no leak, no timeout and no running out of memory. Inputs
# that caused a report are kept under ARTIFACTS; the work folder of the run
# is left in $FUZZ_WORK for the caller (removed by the next call).

FUZZ_REPORT_PATTERN='ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY: (AddressSanitizer|UndefinedBehaviorSanitizer|LeakSanitizer|libFuzzer)|==[0-9]+== ?ERROR|ALARM: working on the last Unit|out-of-memory|deadly signal'

fuzz_run() {
  local fuzzer=$1 seconds=$2 log=$3 artifacts=$4; shift 4
  local name corpus status=0
  name=$(basename "$fuzzer"); corpus=tests/fuzz/corpus/${name#fuzz_}
  [ -n "${FUZZ_WORK:-}" ] && rm -rf "$FUZZ_WORK"
  FUZZ_WORK=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$FUZZ_WORK"/
  mkdir -p "$artifacts"
  "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$name-" "$@" "$FUZZ_WORK" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ] || grep -Eq "$FUZZ_REPORT_PATTERN" "$log"; then
    return 1
  fi
  return 0
}

# Shows what a failed run found: the report, and each input that caused one.
fuzz_show_report() {
  local log=$1 artifacts=$2 name=$3 f
  echo "-- $name: report"
  grep -E -B2 -A40 "$FUZZ_REPORT_PATTERN" "$log" | head -n 120 || tail -n 60 "$log"
  for f in "$artifacts/$name"-*; do
    [ -e "$f" ] || continue
    echo "-- $name: input $f ($(stat -c %s "$f") bytes), first 256 bytes:"
    od -A x -t x1z -v -N 256 "$f"
  done
}

# One line of figures from a run's final statistics.
fuzz_summary() {
  local log=$1
  local runs cov rss
  runs=$(grep -Eo 'stat::number_of_executed_units: +[0-9]+' "$log" | grep -Eo '[0-9]+$' | tail -n 1)
  cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -n 1 | grep -Eo '[0-9]+')
  rss=$(grep -Eo 'stat::peak_rss_mb: +[0-9]+' "$log" | grep -Eo '[0-9]+$' | tail -n 1)
  printf '%12s runs  %6s cov  %6s MB peak' "${runs:-?}" "${cov:-?}" "${rss:-?}"
}

# Runs each FUZZER for SECONDS as fuzz_run does, as many at a time as the
# machine has cores. For each: its log at OUT/<name>.log, its verdict ("ok" or
# "REPORT") at OUT/<name>.status, the inputs behind a report under
# OUT/artifacts, and its work folder at OUT/<name>.work when KEEP is "keep"
# (removed otherwise).
#   fuzz_run_all SECONDS OUT KEEP FUZZER...
fuzz_run_all() {
  local seconds=$1 out=$2 keep=$3; shift 3
  mkdir -p "$out"
  printf '%s\n' "$@" | xargs -P "$(nproc)" -I{} bash -c '
    . tools/fuzz/fuzz-lib.sh
    name=$(basename "$1")
    if fuzz_run "$1" "$2" "$3/$name.log" "$3/artifacts"; then echo ok; else echo REPORT; fi >"$3/$name.status"
    if [ "$4" = keep ]; then mv "$FUZZ_WORK" "$3/$name.work"; else rm -rf "$FUZZ_WORK"; fi
  ' _ {} "$seconds" "$out" "$keep"
}

# After fuzz_run_all: a line of figures per FUZZER, then every report found.
# Returns 1 when any run reported (or left no verdict).
#   fuzz_report_all OUT FUZZER...
fuzz_report_all() {
  local out=$1 f name status reported=(); shift
  printf '%-24s %-7s %s\n' target result figures
  for f in "$@"; do
    name=$(basename "$f")
    status=$(cat "$out/$name.status" 2>/dev/null || echo REPORT)
    [ "$status" = ok ] || reported+=("$name")
    printf '%-24s %-7s %s\n' "$name" "$status" "$(fuzz_summary "$out/$name.log")"
  done
  for name in "${reported[@]}"; do fuzz_show_report "$out/$name.log" "$out/artifacts" "$name"; done
  echo "${#reported[@]} target(s) with reports"
  [ "${#reported[@]}" -eq 0 ]
}
