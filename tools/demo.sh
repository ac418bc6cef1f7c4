#!/usr/bin/env bash
# make demo: builds the demo package image from tools/demo/payload with kvpack, verifies and lists
# it, and runs it under Wine: on your display when DISPLAY is set, else on the test bench's
# virtual display, where its first message box is read back and answered.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
bin="$build/bin"
out="$build/demo"
mkdir -p "$out"
image="$out/DemoPackage.exe"

"$bin/kvpack" build --payload "$src/tools/demo/payload" --out "$image" \
  --title "Demo Package" --label "Demo Package Setup" --description "Demo Package" \
  --product "Demo Package" --company "Demo Makers" --assembly-name "Demo.Package"
"$bin/kvpack" verify "$image"
"$bin/kvpack" list "$image"

echo "demo: running $image under Wine"
if [ -n "${DISPLAY:-}" ]; then
  KV_BENCH_DISPLAY="$DISPLAY" "$src/tools/wine-bench.sh" run "$build/winebench" "$image" || rc=$?
else
  "$src/tools/wine-bench.sh" start "$build/winebench"
  "$src/tools/wine-bench.sh" run "$build/winebench" "$build/win/out/answer_box.exe" 60 "$image" \
    || rc=$?
  "$src/tools/wine-bench.sh" stop "$build/winebench"
fi
echo "demo: the package exited with code ${rc:-0}"
