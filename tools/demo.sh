#!/usr/bin/env bash
# make demo: builds the demo package image from tools/demo/payload with kvpack, verifies and lists
# it, and runs it under Wine: on your display when DISPLAY is set, else on the test bench's
# virtual display, where its first message box is read back and answered. The package is of the
# first architecture this machine runs, x86 before x64 (KV_ARCHS chooses by hand).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
bin="$build/bin"
out="$build/demo"
mkdir -p "$out"
image="$out/DemoPackage.exe"

arch=
for candidate in ${KV_ARCHS:-x86 x64}; do
  if reason=$("$src/tools/wine-bench.sh" can-run "$candidate"); then
    arch=$candidate
    break
  fi
  echo "demo: not $candidate: $reason"
done
if [ -z "$arch" ]; then
  echo "demo: this machine runs no Wine of ours" >&2
  exit 1
fi
case "$arch" in
  x86) winout="$build/win/out" ;;
  x64) winout="$build/win64/out" ;;
esac
benchdir="$build/winebench/$arch"

"$bin/kvpack" build --arch "$arch" --payload "$src/tools/demo/payload" --out "$image" \
  --title "Demo Package" --label "Demo Package Setup" --description "Demo Package" \
  --product "Demo Package" --company "Demo Makers" --assembly-name "Demo.Package"
"$bin/kvpack" verify "$image"
"$bin/kvpack" list "$image"

echo "demo: running $image ($arch) under Wine"
if [ -n "${DISPLAY:-}" ]; then
  KV_BENCH_DISPLAY="$DISPLAY" "$src/tools/wine-bench.sh" run "$benchdir" "$image" || rc=$?
else
  "$src/tools/wine-bench.sh" start "$benchdir"
  "$src/tools/wine-bench.sh" run "$benchdir" "$winout/answer_box.exe" 60 "$image" || rc=$?
  "$src/tools/wine-bench.sh" stop "$benchdir"
fi
echo "demo: the package exited with code ${rc:-0}"
