#!/usr/bin/env bash
# Whole-process comparison: `lzx compress` / `lzx decompress` against gzip -6 / gzip -d on the
# same file, with time and peak memory of each process, and a check that every round trip gives
# the input back. A second, four times longer file shows that peak memory does not grow with the
# stream.
#
#   bench/compare-gzip.sh [FILE [LZX_TOOL]]
#
# FILE defaults to build/bench/corpus/corpus.bin (bench/make-corpus.py), the tool to
# build/bench/bin/lzx. Mode "wbs" runs on build/bench/corpus/image.bmp: it needs an empty row in
# every block, which only the image has. Peak memory comes from GNU time when it is installed,
# otherwise from the high-water mark in /proc, sampled while the process runs.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
file=${1:-$here/build/bench/corpus/corpus.bin}
lzx=${2:-$here/build/bench/bin/lzx}
image=$(dirname "$file")/image.bmp
for f in "$file" "$lzx"; do
  [ -e "$f" ] || { echo "compare-gzip: $f not found (cmake --preset bench && cmake --build build/bench; bench/make-corpus.py)" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/lzx-cmp.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# measure NAME INPUT_BYTES OUTPUT COMMAND...: runs the command with stdout to OUTPUT and prints
# one table row: seconds (wall), CPU seconds, MB/s of uncompressed data, peak resident KB.
measure() {
  local name=$1 bytes=$2 out=$3
  shift 3
  local wall cpu rss
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%e %U %S %M' -o stats "$@" >"$out" || { echo "compare-gzip: $name failed" >&2; exit 1; }
    read -r wall user sys rss <stats
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  else
    local start end pid hwm
    start=$(date +%s.%N)
    "$@" >"$out" &
    pid=$!
    rss=0
    while kill -0 "$pid" 2>/dev/null; do
      hwm=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
      [ -n "$hwm" ] && [ "$hwm" -gt "$rss" ] && rss=$hwm
      sleep 0.01
    done
    wait "$pid" || { echo "compare-gzip: $name failed" >&2; exit 1; }
    end=$(date +%s.%N)
    wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
    cpu=$wall
  fi
  local rate
  rate=$(awk -v b="$bytes" -v c="$cpu" 'BEGIN { if (c > 0) printf "%.1f", b / c / 1e6; else print "-" }')
  printf '| %-26s | %8s | %8s | %8s | %9s |\n' "$name" "$wall" "$cpu" "$rate" "$rss"
}

size() { stat -c %s "$1"; }
same() { cmp -s "$1" "$2" || { echo "compare-gzip: $3 does not give the input back" >&2; exit 1; }; }

row_header() {
  echo
  echo "$1: $(size "$2") bytes"
  echo
  printf '| %-26s | %8s | %8s | %8s | %9s |\n' operation "wall s" "CPU s" "MB/s" "peak KB"
  echo "|----------------------------|----------|----------|----------|-----------|"
}

run_all() {  # LABEL FILE MODES...
  local label=$1 in=$2
  shift 2
  local bytes
  bytes=$(size "$in")
  row_header "$label" "$in"
  measure "gzip -6" "$bytes" in.gz gzip -6 -c "$in"
  measure "gzip -d" "$bytes" back gzip -d -c in.gz
  same back "$in" "gzip"
  local sizes="gzip -6 $(size in.gz)"
  for mode in "$@"; do
    measure "lzx compress --mode $mode" "$bytes" /dev/null "$lzx" compress --mode "$mode" "$in" in.lzx
    measure "lzx decompress ($mode)" "$bytes" /dev/null "$lzx" decompress in.lzx back
    same back "$in" "lzx $mode"
    sizes="$sizes, $mode $(size in.lzx)"
  done
  echo
  echo "compressed bytes: $sizes"
}

echo "lzx against gzip, $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) CPUs; rates over CPU time"
run_all "$(basename "$file")" "$file" wb wbh
[ -e "$image" ] && run_all "$(basename "$image")" "$image" wbs
cat "$file" "$file" "$file" "$file" >long.bin
run_all "$(basename "$file") four times (peak memory must not grow)" long.bin wb
