#!/usr/bin/env bash
# make bench: measures packages against the floor nothing here can beat, and writes
# build/bench/report.md. Run by hand on a quiet machine; it is no test.
#   - payloads made here, the same bytes every time (bench/payloadgen.cpp): A (about 6,000 files,
#     350 MB, mixed like an application), B (one file of 180 MB), S (1,000, 4,000 and 16,000
#     small files), and an empty one;
#   - extraction: the package driven through its pages under Wine (destination page's Next to the
#     final page, less the fixed 400 ms pause) versus the LZMA SDK's own 7z extractor, built from
#     the same sources with the same decoder, on the payload archive cut out of the same image,
#     under the same Wine; also 7zz x -mmt1 on this machine, for reference;
#   - peak working set and peak private bytes of both;
#   - start-up: process start to the welcome page, versus a program that shows one window;
#   - sizes of the stub, the runtime archive and a package of an empty payload;
#   - kvpack build of A versus 7zz a with the same settings.
# Every figure is the median of KV_BENCH_RUNS runs (default 5), ours and the reference in turn.
# KV_BENCH_SCALE (default 1) shrinks A and B for a quick look; KV_ARCHS picks the architecture.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
bin="$build/bin"
runs=${KV_BENCH_RUNS:-5}
scale=${KV_BENCH_SCALE:-1}
work="$build/bench"
payloads="$work/payloads"
mkdir -p "$work" "$payloads"

arch=
for candidate in ${KV_ARCHS:-x86 x64}; do
  if "$src/tools/wine-bench.sh" can-run "$candidate" >/dev/null; then
    arch=$candidate
    break
  fi
done
[ -n "$arch" ] || { echo "bench: this machine runs no Wine of ours" >&2; exit 1; }
case "$arch" in
  x86) winout="$build/win/out"; stub="$bin/kvsfx.exe" ;;
  x64) winout="$build/win64/out"; stub="$bin/x64/kvsfx.exe" ;;
esac
benchdir="$build/winebench/$arch"
bench() { "$src/tools/wine-bench.sh" "$@"; }
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# field NAME: the value of NAME=... in a line on stdin.
field() { tr ' ' '\n' | sed -n "s/^$1=//p"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }

echo "bench: $arch, $runs runs per figure, payload scale $scale"

# Payloads, made once per scale.
stamp="$payloads/.made-$scale"
if [ ! -f "$stamp" ]; then
  rm -rf "$payloads"
  mkdir -p "$payloads"
  "$bin/payloadgen" app "$payloads/A" "$scale" >/dev/null
  "$bin/payloadgen" large "$payloads/B" "$scale" >/dev/null
  for n in 1000 4000 16000; do "$bin/payloadgen" small "$payloads/S$n" "$n" >/dev/null; done
  mkdir -p "$payloads/empty"
  touch "$stamp"
fi
names=(A B S1000 S4000 S16000)

# The payload archive of an image, cut out at the offsets verify reports.
slice() {  # slice IMAGE OUT.7z
  local end size
  end=$("$bin/kvpack" verify "$1" | sed -n 's/.*package image: stub \([0-9]*\) bytes.*/\1/p')
  size=$(od -An -t u8 -j $((end + 2)) -N 8 "$1" | tr -d ' ')
  dd if="$1" of="$2" bs=1M iflag=skip_bytes,count_bytes skip=$((end + 18)) count="$size" status=none
}

# kvpack against 7zz a alone with the settings kvpack gives it, on A.
echo "bench: building packages"
: >"$work/kvpack.times"
: >"$work/7zz-a.times"
for i in $(seq "$runs"); do
  rm -f "$work/A.exe" "$work/A-plain.7z"
  t0=$(now_ms)
  "$bin/kvpack" build --arch "$arch" --payload "$payloads/A" --out "$work/A.exe" >/dev/null
  t1=$(now_ms)
  (cd "$payloads/A" && 7zz a -t7z -bd -y -spd -mx=9 -mqs=on -ms=64m "$work/A-plain.7z" -r . >/dev/null)
  t2=$(now_ms)
  echo $((t1 - t0)) >>"$work/kvpack.times"
  echo $((t2 - t1)) >>"$work/7zz-a.times"
done
rm -f "$work/A-plain.7z"
for name in "${names[@]:1}" empty; do
  "$bin/kvpack" build --arch "$arch" --payload "$payloads/$name" --out "$work/$name.exe" >/dev/null
done
for name in "${names[@]}"; do slice "$work/$name.exe" "$work/$name.7z"; done

bench start "$benchdir" >/dev/null
out="$work/out"
driver="$winout/bench_driver.exe"
reference=$(windows_path "$winout/sdk7zdec.exe")

# One package run and one reference run, in turn, each into a fresh folder.
measure() {  # measure NAME
  local name=$1 i line
  : >"$work/$name.ours"
  : >"$work/$name.reference"
  : >"$work/$name.native"
  for i in $(seq "$runs"); do
    rm -rf "$out"
    line=$(bench run "$benchdir" "$driver" package "$(windows_path "$work/$name.exe")" \
           "$(windows_path "$out")") || { echo "bench: $name: our run failed: $line" >&2; exit 1; }
    echo "$line" >>"$work/$name.ours"
    rm -rf "$out"
    line=$(bench run "$benchdir" "$driver" reference "$reference" "$(windows_path "$work/$name.7z")" \
           "$(windows_path "$out")") || { echo "bench: $name: reference run failed: $line" >&2; exit 1; }
    echo "$line" >>"$work/$name.reference"
    rm -rf "$out"
    mkdir -p "$out"
    local t0 t1
    t0=$(now_ms)
    7zz x -mmt1 -bd -y -o"$out" "$work/$name.7z" >/dev/null
    t1=$(now_ms)
    echo "extract_ms=$((t1 - t0))" >>"$work/$name.native"
  done
  rm -rf "$out"
}

for name in "${names[@]}"; do
  echo "bench: extracting $name"
  measure "$name"
done
echo "bench: start-up"
: >"$work/startup.ours"
: >"$work/startup.window"
for i in $(seq "$runs"); do
  rm -rf "$out"
  bench run "$benchdir" "$driver" package "$(windows_path "$work/empty.exe")" "$(windows_path "$out")" \
    >>"$work/startup.ours"
  bench run "$benchdir" "$driver" window "$(windows_path "$winout/trivial_window.exe")" \
    >>"$work/startup.window"
done
rm -rf "$out"
bench stop "$benchdir" >/dev/null

# The report.
report="$work/report.md"
misses=()
miss() { misses+=("$1"); }
{
  echo "# Benchmark report"
  echo
  echo "- date: $(date -u '+%Y-%m-%d %H:%M UTC'); architecture: $arch; runs per figure: $runs (median); payload scale: $scale"
  echo "- machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
  echo "- Wine: $(/usr/lib/wine/wine64 --version 2>/dev/null || echo unknown); 7zz: $(7zz | sed -n '2p' | cut -c1-40)"
  echo "- reference: the LZMA SDK's 7z extractor (C/Util/7z) with the extractor's own decoder library, same Wine"
  echo
  for name in "${names[@]}"; do
    files=$(find "$payloads/$name" -type f | wc -l)
    bytes=$(du -sb "$payloads/$name" | cut -f1)
    block=$(7zz l -slt "$work/$name.7z" | sed -n 's/^Block = //p' | sort -u | wc -l)
    ours=$(field extract_ms <"$work/$name.ours" | median)
    theirs=$(field extract_ms <"$work/$name.reference" | median)
    native=$(field extract_ms <"$work/$name.native" | median)
    ws=$(field peak_ws <"$work/$name.ours" | median)
    wsRef=$(field peak_ws <"$work/$name.reference" | median)
    pb=$(field peak_private <"$work/$name.ours" | median)
    pbRef=$(field peak_private <"$work/$name.reference" | median)
    perFile=$(awk -v a="$ours" -v b="$theirs" -v n="$files" 'BEGIN { printf "%.3f", (a - b) / n }')
    largest=$(7zz l -slt "$work/$name.7z" | awk '/^Block = /{ b = $3 } /^Size = /{ s = $3 } /^$/{ if (b != "") sum[b] += s; b = ""; s = 0 } END { m = 0; for (k in sum) if (sum[k] > m) m = sum[k]; print m }')
    memoryTarget=$(( largest + 16 * 1048576 ))
    echo "## Payload $name: $files files, $(mib "$bytes") MiB, $block solid blocks"
    echo
    echo "| figure | ours | reference | ratio | target |"
    echo "|---|---|---|---|---|"
    echo "| extraction (ms) | $ours | $theirs | $(ratio "$ours" "$theirs") | ≤ 1.10 |"
    echo "| per file, ours − reference (ms) | $perFile | | | flat from S1000 to S16000 |"
    echo "| peak working set (MiB) | $(mib "$ws") | $(mib "$wsRef") | $(ratio "$ws" "$wsRef") | ≤ largest block + 16 MiB = $(mib "$memoryTarget") |"
    echo "| peak private bytes (MiB) | $(mib "$pb") | $(mib "$pbRef") | $(ratio "$pb" "$pbRef") | |"
    echo "| 7zz x -mmt1 on this machine (ms) | $native | | | |"
    echo
    [ "$(ratio "$ours" "$theirs")" = n/a ] || awk -v r="$(ratio "$ours" "$theirs")" 'BEGIN { exit !(r > 1.10) }' &&
      miss "$name: extraction takes $(ratio "$ours" "$theirs")× the reference (target 1.10×)" || true
    awk -v w="$ws" -v t="$memoryTarget" 'BEGIN { exit !(w > t) }' &&
      miss "$name: peak working set $(mib "$ws") MiB, over the largest block + 16 MiB ($(mib "$memoryTarget") MiB)" || true
    echo "$name $files $perFile" >>"$work/perfile.$$"
  done
  startOurs=$(field startup_ms <"$work/startup.ours" | median)
  startWindow=$(field startup_ms <"$work/startup.window" | median)
  echo "## Start-up"
  echo
  echo "| figure | ours | one window | difference | target |"
  echo "|---|---|---|---|---|"
  echo "| process start to first page (ms) | $startOurs | $startWindow | $(awk -v a="$startOurs" -v b="$startWindow" 'BEGIN { printf "%.1f", a - b }') | ≤ +150 |"
  echo
  awk -v a="$startOurs" -v b="$startWindow" 'BEGIN { exit !(a - b > 150) }' &&
    miss "start-up: $(awk -v a="$startOurs" -v b="$startWindow" 'BEGIN { printf "%.0f", a - b }') ms over the one-window program (target 150)" || true
  stubBytes=$(stat -c %s "$stub")
  runtimeBytes=$("$bin/kvpack" verify "$work/empty.exe" | sed -n 's/.*runtime archive \([0-9]*\) bytes.*/\1/p')
  emptyBytes=$(stat -c %s "$work/empty.exe")
  echo "## Sizes"
  echo
  echo "| part | bytes | target |"
  echo "|---|---|---|"
  echo "| stub ($arch) | $stubBytes | ≤ 65536 |"
  echo "| runtime archive | $runtimeBytes | as small as its contents allow |"
  echo "| package of an empty payload | $emptyBytes | |"
  echo
  [ "$stubBytes" -le 65536 ] || miss "stub: $stubBytes bytes (target 65536)"
  kv=$(median <"$work/kvpack.times")
  sz=$(median <"$work/7zz-a.times")
  echo "## Building A"
  echo
  echo "| figure | kvpack build | 7zz a alone | ratio | target |"
  echo "|---|---|---|---|---|"
  echo "| time (ms) | $kv | $sz | $(ratio "$kv" "$sz") | ≤ 1.05 |"
  echo
  awk -v r="$(ratio "$kv" "$sz")" 'BEGIN { exit !(r > 1.05) }' &&
    miss "kvpack build: $(ratio "$kv" "$sz")× 7zz a alone (target 1.05×)" || true
  first=$(awk '$1 == "S1000" { print $3 }' "$work/perfile.$$")
  last=$(awk '$1 == "S16000" { print $3 }' "$work/perfile.$$")
  awk -v a="$first" -v b="$last" 'BEGIN { exit !(b > a * 1.25 + 0.05) }' &&
    miss "per-file cost grows from $first ms at 1,000 files to $last ms at 16,000" || true
  rm -f "$work/perfile.$$"
  echo "## Figures that miss their target"
  echo
  if [ ${#misses[@]} -eq 0 ]; then
    echo "None."
  else
    for line in "${misses[@]}"; do echo "- $line"; done
  fi
} >"$report"
cat "$report"
