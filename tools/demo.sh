#!/usr/bin/env bash
# make demo: builds the demo package image from tools/demo/payload with kvpack, verifies and lists
# it, and runs it under Wine. With DISPLAY set it opens on your display for you to click through.
# Without one it runs on the test bench's virtual display, where the test driver takes it through
# every page (destination: build/demo/installed), saves a screenshot of each window it meets under
# build/demo/screenshots, and the installed files are listed. The package is of the first
# architecture this machine runs, x86 before x64 (KV_ARCHS chooses by hand).
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

# Windows form of a path of this machine, on Wine's drive Z:.
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }

echo "demo: running $image ($arch) under Wine"
if [ -n "${DISPLAY:-}" ]; then
  KV_BENCH_DISPLAY="$DISPLAY" "$src/tools/wine-bench.sh" run "$benchdir" "$image" || rc=$?
else
  installed="$out/installed"
  shots="$out/screenshots"
  rm -rf "$installed" "$shots"
  mkdir -p "$shots"
  "$src/tools/wine-bench.sh" start "$benchdir"
  "$src/tools/wine-bench.sh" run "$benchdir" "$winout/demo_driver.exe" "$(windows_path "$image")" \
    "$(windows_path "$installed")" "$(windows_path "$shots")" || rc=$?
  "$src/tools/wine-bench.sh" stop "$benchdir"
  echo "demo: installed into $installed:"
  (cd "$installed" 2>/dev/null && find . -type f | sort | sed 's|^\./|  |') || echo "  (nothing)"
  echo "demo: screenshots: $(cd "$shots" && ls | tr '\n' ' ')"
fi
echo "demo: the package exited with code ${rc:-0}"
