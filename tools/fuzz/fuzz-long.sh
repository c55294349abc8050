#!/usr/bin/env bash
# Long fuzzing on demand: every libFuzzer target for MINUTES minutes, as many
# at a time as the machine has cores, each over a copy of its committed
# corpus. Prints runs, coverage and peak memory per target, shows every
# report, and then offers to merge the inputs that found new coverage into
# tests/fuzz/corpus/ (kept small with libFuzzer's merge).
#   tools/fuzz/fuzz-long.sh MINUTES [--merge | --no-merge] [target ...]
set -euo pipefail
cd "$(dirname "$0")/../.."

minutes=${1:-}
[[ "$minutes" =~ ^[0-9]+$ ]] && [ "$minutes" -gt 0 ] || {
  echo "usage: tools/fuzz/fuzz-long.sh MINUTES [--merge | --no-merge] [target ...]" >&2; exit 2; }
shift
merge=ask
if [ "${1:-}" = --merge ] || [ "${1:-}" = --no-merge ]; then
  [ "$1" = --merge ] && merge=yes || merge=no
  shift
fi

./install-deps.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVOX_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" >/dev/null

targets=()
if [ $# -gt 0 ]; then
  for t in "$@"; do targets+=("build-fuzz/fuzzers/${t#build-fuzz/fuzzers/}"); done
else
  for f in build-fuzz/fuzzers/fuzz_*; do [ -x "$f" ] && targets+=("$f"); done
fi

out=build-fuzz/long
rm -rf "$out"; mkdir -p "$out"
echo "fuzz-long: ${#targets[@]} targets, $minutes min each, $(nproc) at a time; logs in $out/"

. tools/fuzz/fuzz-lib.sh
fuzz_run_all $((minutes * 60)) "$out" keep "${targets[@]}"
reports=0
fuzz_report_all "$out" "${targets[@]}" || reports=1

if [ "$merge" = ask ]; then
  merge=no
  if [ -t 0 ]; then
    read -r -p "Merge the new inputs into tests/fuzz/corpus/? [y/N] " answer
    [[ "$answer" =~ ^[yY] ]] && merge=yes
  fi
fi
if [ "$merge" = yes ]; then
  for f in "${targets[@]}"; do
    name=$(basename "$f"); corpus=tests/fuzz/corpus/${name#fuzz_}
    merged=$(mktemp -d); mkdir -p "$corpus"
    # The smallest set of inputs that keeps all the coverage survives, so the
    # committed corpus stays small.
    "$f" -set_cover_merge=1 "$merged" "$corpus" "$out/$name.work" >"$out/$name.merge.log" 2>&1
    before=$(find "$corpus" -type f | wc -l)
    rm -rf "$corpus"; mv "$merged" "$corpus"
    echo "merged $name: $before -> $(find "$corpus" -type f | wc -l) inputs, $(du -sh "$corpus" | cut -f1)"
  done
fi
[ "$reports" -eq 0 ]
