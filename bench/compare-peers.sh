#!/usr/bin/env bash
# Whole processes side by side: lzx compress/decompress (modes "wb" and "wbh", 1, 2 and 4
# threads and the default) and pack/test/unpack of an archive holding the file, against gzip,
# libdeflate-gzip, zstd and lz4 on one file. A first round checks every output; then REPS
# rounds (default 15) each run every program once, alternating them (A B C, A B C, ...), so that
# a change in the machine's load falls on all of them (bench/time-runs.py: microsecond wall and CPU
# times, peak memory). Prints the median wall time with its range, the median CPU time, the
# output size and peak memory, then the targets' ratios of the medians.
#
#   bench/compare-peers.sh [FILE [LZX_TOOL]]
#
# FILE defaults to build/bench/corpus/corpus.bin (bench/make-corpus.py), the tool to
# build/bench/bin/lzx. The peers are Debian packages; missing ones are installed.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
file=${1:-$here/build/bench/corpus/corpus.bin}
lzx=${2:-$here/build/bench/bin/lzx}
for f in "$file" "$lzx"; do
  [ -e "$f" ] || { echo "compare-peers: $f not found (cmake --preset bench && cmake --build build/bench; bench/make-corpus.py)" >&2; exit 1; }
done
need=()
for p in gzip:gzip libdeflate-gzip:libdeflate-tools zstd:zstd lz4:lz4 /usr/bin/time:time; do
  command -v "${p%%:*}" >/dev/null || need+=("${p#*:}")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get install -y -qq "${need[@]}" >/dev/null || { echo "compare-peers: cannot install ${need[*]}" >&2; exit 1; }
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/lzx-peers.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
cp "$file" in.bin
bytes=$(stat -c %s in.bin)
cores=$(nproc)
reps=${REPS:-15}
printf 'a.lzx\n./\nin.bin|V=101\n#in.bin\n' >list.txt

# The operations: name, output file, command (reading in.bin or a packed file).
ops=(
  "gzip -6|g.gz|gzip -6 -c in.bin"
  "gzip -d|g.out|gzip -d -c g.gz"
  "libdeflate-gzip -6|d.gz|libdeflate-gzip -6 -c in.bin"
  "libdeflate-gzip -d|d.out|libdeflate-gzip -d -c d.gz"
  "zstd -1|z1.zst|zstd -1 -q -c in.bin"
  "zstd -3|z.zst|zstd -3 -q -c in.bin"
  "zstd -d|z.out|zstd -d -q -c z.zst"
  "lz4 -1|l.lz4|lz4 -1 -q -c in.bin"
  "lz4 -d|l.out|lz4 -d -q -c l.lz4"
)
counts=(1 2 4)
case " ${counts[*]} " in *" $cores "*) ;; *) counts+=("$cores") ;; esac
for t in "${counts[@]}"; do
  ops+=("lzx compress wb -T $t|w$t.lzx|$lzx compress -T $t in.bin w$t.lzx")
  ops+=("lzx decompress wb -T $t|w$t.out|$lzx decompress -T $t w$t.lzx w$t.out")
  ops+=("lzx compress wbh -T $t|h$t.lzx|$lzx compress -T $t --mode wbh in.bin h$t.lzx")
  ops+=("lzx decompress wbh -T $t|h$t.out|$lzx decompress -T $t h$t.lzx h$t.out")
done
# The archive: packed again on every count (the same bytes), then tested and unpacked.
for t in "${counts[@]}"; do
  ops+=("lzx pack -T $t|a.lzx|$lzx pack -T $t list.txt")
  ops+=("lzx test -T $t||$lzx test -T $t a.lzx")
  ops+=("lzx unpack -T $t|u$t/in.bin|$lzx unpack -T $t --rewrite-equal a.lzx u$t")
done

# A first round checks the outputs (and warms the page cache): every program gives the input back,
# and every thread count writes the same bytes. It also takes each program's peak memory (GNU
# time: a process started from the timing script would count the script's own memory in).
declare -A wall cpu low high rss
for op in "${ops[@]}"; do
  IFS='|' read -r name out cmd <<<"$op"
  case $cmd in "$lzx"*) to=/dev/null ;; *) to=$out ;; esac
  [ -n "$out" ] && rm -rf "$out"
  /usr/bin/time -f %M -o mem $cmd >"$to" || { echo "compare-peers: $name failed" >&2; exit 1; }
  rss[$name]=$(cat mem)
  case $out in *.out | */in.bin) cmp -s in.bin "$out" || { echo "compare-peers: $name does not give the input back" >&2; exit 1; } ;; esac
  case $name in "lzx pack -T 1") cp a.lzx a1.lzx ;; "lzx pack"*) cmp -s a1.lzx a.lzx || { echo "compare-peers: $name wrote other bytes" >&2; exit 1; } ;; esac
  case $name in "lzx compress"*) cp "$out" "keep.$out" ;; "lzx unpack"*) rm -rf "${out%/*}" ;; esac
done
for t in "${counts[@]}"; do
  cmp -s keep.w1.lzx "keep.w$t.lzx" && cmp -s keep.h1.lzx "keep.h$t.lzx" || { echo "compare-peers: -T $t wrote other bytes" >&2; exit 1; }
done

# The timed rounds. gzip-like tools write to standard output, lzx to its file argument; every
# program writes a new file (the shell's redirection would truncate the old one outside the
# timing, lzx's rename over it inside).
: >ops.txt
for op in "${ops[@]}"; do
  IFS='|' read -r name out cmd <<<"$op"
  case $cmd in "$lzx"*) echo "$name|$out|$cmd" ;; *) echo "$name|$out|$cmd > $out" ;; esac >>ops.txt
done
python3 "$here/bench/time-runs.py" ops.txt "$reps" >times.tsv || exit 1
while IFS=$'\t' read -r name w u s c lo hi m; do
  wall[$name]=$w cpu[$name]=$c low[$name]=$lo high[$name]=$hi
done <times.tsv

echo "$(basename "$file"): $bytes bytes, $cores cores, medians of $reps alternating rounds, load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
echo
printf '| %-26s | %8s | %15s | %8s | %10s | %8s |\n' operation "wall ms" "wall range ms" "CPU ms" "output" "peak KB"
printf '|%s|%s:|%s:|%s:|%s:|%s:|\n' ---------------------------- --------- ---------------- --------- ----------- ---------
for op in "${ops[@]}"; do
  IFS='|' read -r name out cmd <<<"$op"
  size=""; case $out in *.out | */* | "") ;; *) size=$(stat -c %s "keep.$out" 2>/dev/null || stat -c %s "$out") ;; esac
  printf '| %-26s | %8.1f | %6.1f to %6.1f | %8.1f | %10s | %8s |\n' "$name" "${wall[$name]}" "${low[$name]}" \
    "${high[$name]}" "${cpu[$name]}" "$size" "${rss[$name]}"
done

# best NAME wall|cpu: the median of the rounds.
best() {
  if [ "$2" = wall ]; then echo "${wall[$1]}"; else echo "${cpu[$1]}"; fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
echo
echo "Targets (medians; wall times at the default of $cores threads):"
printf '  %-58s %6s  (wanted <= %s)\n' \
  "lzx decompress wall / libdeflate-gzip -d wall" "$(ratio "$(best "lzx decompress wb -T $cores" wall)" "$(best "libdeflate-gzip -d" wall)")" 0.8 \
  "lzx decompress wall / zstd -d wall" "$(ratio "$(best "lzx decompress wb -T $cores" wall)" "$(best "zstd -d" wall)")" 1 \
  "lzx decompress -T 1 CPU / libdeflate-gzip -d CPU" "$(ratio "$(best "lzx decompress wb -T 1" cpu)" "$(best "libdeflate-gzip -d" cpu)")" 1 \
  "lzx compress wb wall / libdeflate-gzip -6 wall" "$(ratio "$(best "lzx compress wb -T $cores" wall)" "$(best "libdeflate-gzip -6" wall)")" 0.5 \
  "lzx compress wb -T 1 CPU / libdeflate-gzip -6 CPU" "$(ratio "$(best "lzx compress wb -T 1" cpu)" "$(best "libdeflate-gzip -6" cpu)")" 1 \
  "lzx compress wbh wall / zstd -1 wall" "$(ratio "$(best "lzx compress wbh -T $cores" wall)" "$(best "zstd -1" wall)")" 1
echo "Scaling (wall -T 1 / wall -T N; wanted at 2 threads: packing 1.8, unpacking 1.6):"
for t in 2 4; do
  printf '  -T %s: packing %s, unpacking %s; archive: pack %s, test %s, unpack %s\n' "$t" \
    "$(ratio "$(best "lzx compress wb -T 1" wall)" "$(best "lzx compress wb -T $t" wall)")" \
    "$(ratio "$(best "lzx decompress wb -T 1" wall)" "$(best "lzx decompress wb -T $t" wall)")" \
    "$(ratio "$(best "lzx pack -T 1" wall)" "$(best "lzx pack -T $t" wall)")" \
    "$(ratio "$(best "lzx test -T 1" wall)" "$(best "lzx test -T $t" wall)")" \
    "$(ratio "$(best "lzx unpack -T 1" wall)" "$(best "lzx unpack -T $t" wall)")"
done
