#!/usr/bin/env bash
# Builds the benchmarks and prints the measurements as tables:
#   1. a save through the module against the open/write/close floor (and ofstream, stdio);
#   2. `exporthost export` of a large file against `cp`, against the least a host that reads its
#      program into huge-page memory can do (bench/huge_page_read.cpp) and against the least one
#      that maps it can do (bench/mapped_write.cpp), in rounds, with peak memory;
#   3. `exporthost check` of rawout, natively and under wine64.
# Usage: bench/run.sh [FOLDER]   FOLDER is where files are written (default: /dev/shm, tmpfs).
# Needs Google Benchmark (libbenchmark-dev) and hyperfine.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/dev/shm}
megabytes=${RAWOUT_BENCH_MIB:-256}
repetitions=${RAWOUT_BENCH_REPETITIONS:-5}
rounds=${RAWOUT_BENCH_ROUNDS:-5}

command -v hyperfine >/dev/null || { echo "bench/run.sh: hyperfine is needed (apt-get install hyperfine)" >&2; exit 1; }
cmake --workflow --preset bench >/dev/null
bin=build/bench/bin
bench=build/bench/bench
work=$(mktemp -d "$folder/rawout-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)," \
  "$(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo), Linux $(uname -r)"
echo "folder:  $folder ($(stat -f -c %T "$folder"))"
echo
echo "== a save: module against the floor (medians of $repetitions repetitions)"
RAWOUT_BENCH_DIR=$work "$bench/save_bench" --benchmark_repetitions="$repetitions" \
  >"$work/save.log" 2>&1
sed -n '/^ *bytes /,$p' "$work/save.log"

echo
echo "== the main job: ${megabytes} MiB, exporthost against cp"
head -c "$((megabytes << 20))" /dev/urandom >"$work/input.prg"
# In rounds, so that a slow spell of the machine weighs on every command of a round alike.
for round in $(seq "$rounds"); do
  hyperfine --style none --warmup 2 --runs 10 --export-csv "$work/times-$round.csv" \
    -n cp "cp $work/input.prg $work/copy.bin" \
    -n "huge-page read (floor)" "$bench/huge_page_read $work/input.prg $work/read.bin" \
    -n "mapped write" "$bench/mapped_write $work/input.prg $work/mapped.bin" \
    -n "exporthost FILE" "$bin/exporthost export $work/input.prg $work/exported" \
    -n "exporthost - (stdin)" "$bin/exporthost export - $work/piped < $work/input.prg" >/dev/null
done
for copy in read mapped exported piped; do
  cmp -s "$work/input.prg" "$work/$copy.bin" || { echo "bench/run.sh: $copy.bin is not the input" >&2; exit 1; }
done

peak() { "$bench/peak_rss" "$@" 2>&1 >/dev/null | awk '/peak_rss_kib/ {printf "%.0f", $2/1024}'; }
rss_cp=$(peak cp "$work/input.prg" "$work/copy.bin")
rss_floor=$(peak "$bench/huge_page_read" "$work/input.prg" "$work/read.bin")
rss_mapped=$(peak "$bench/mapped_write" "$work/input.prg" "$work/mapped.bin")
rss_file=$(peak "$bin/exporthost" export "$work/input.prg" "$work/exported")
rss_pipe=$(peak "$bin/exporthost" export - "$work/piped" <"$work/input.prg")

# Each ratio is taken within a round; the table gives the median over the rounds, and the range.
awk -F, -v rss="$rss_cp,$rss_floor,$rss_mapped,$rss_file,$rss_pipe" '
  function median(list, count,   i, j, held) {
    for (i = 2; i <= count; i++) for (j = i; j > 1 && list[j - 1] > list[j]; j--) { held = list[j]; list[j] = list[j - 1]; list[j - 1] = held }
    return count % 2 ? list[(count + 1) / 2] : (list[count / 2] + list[count / 2 + 1]) / 2
  }
  BEGIN { split(rss, peak, ","); printf "%-24s %10s %8s %12s %10s %12s %14s\n", "command", "median ms", "vs cp", "vs cp range", "vs floor", "vs mapped", "peak RSS MiB" }
  FNR == 1 { round++; row = 0; next }
  { row++; name[row] = $1; ms[row, round] = $4 * 1000 }
  END {
    for (r = 1; r <= row; r++) {
      low = 1e9; high = 0
      for (k = 1; k <= round; k++) {
        times[k] = ms[r, k]; againstCp[k] = ms[r, k] / ms[1, k]; againstFloor[k] = ms[r, k] / ms[2, k]
        againstMapped[k] = ms[r, k] / ms[3, k]
        low = againstCp[k] < low ? againstCp[k] : low; high = againstCp[k] > high ? againstCp[k] : high
      }
      printf "%-24s %10.1f %8.2f %12s %10.2f %12.2f %14s\n", name[r], median(times, round), median(againstCp, round),
        sprintf("%.2f-%.2f", low, high), median(againstFloor, round), median(againstMapped, round), peak[r]
    }
  }
' "$work"/times-*.csv

echo
echo "== exporthost check of rawout, every check in a process of its own (aim: under 150 ms on 2 cores)"
hyperfine --style none --warmup 3 --runs 20 --export-csv "$work/check.csv" \
  -n "check --expect=identity" "$bin/exporthost check --expect=identity" \
  -n "check --jobs 1" "$bin/exporthost check --expect=identity --jobs 1" >/dev/null
# Under wine64, with the wine server kept warm for the runs (aim: under 2 s), where the 64-bit
# Windows build is there (cmake --workflow --preset mingw64).
windows=build/mingw64/bin/exporthost.exe
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
if [ -x "$wine64" ] && [ -f "$windows" ]; then
  export WINEPREFIX=$PWD/build/mingw64/wineprefix WINEDEBUG=-all
  wineserver -p30
  hyperfine --style none --warmup 2 --runs 10 --export-csv "$work/wine.csv" \
    -n "check under wine64" "$wine64 $windows check --expect=identity" >/dev/null
  tail -n +2 "$work/wine.csv" >>"$work/check.csv"
fi
awk -F, 'BEGIN { printf "%-26s %10s %10s\n", "command", "mean ms", "median ms" }
  NR > 1 { printf "%-26s %10.1f %10.1f\n", $1, $2 * 1000, $4 * 1000 }' "$work/check.csv"
