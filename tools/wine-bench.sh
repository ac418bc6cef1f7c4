#!/usr/bin/env bash
# The Wine test bench of one architecture: a private prefix and an Xvfb display under the build
# tree. The bench folder's name is its architecture: .../winebench/x86 (a 32-bit prefix, run by
# the 32-bit Wine) or .../winebench/x64 (a 64-bit prefix, run by wine64).
#   wine-bench.sh start BENCH       make the prefix (once), start the display and the wineserver
#   wine-bench.sh stop BENCH        stop the wineserver and the display
#   wine-bench.sh run BENCH EXE...  run a Windows program on the bench, exit with its code
#   wine-bench.sh can-run ARCH      exit 0 when this machine runs that architecture's Wine, else
#                                   print why not and exit 1
#   wine-bench.sh archs             one line per architecture: "ARCH run", "ARCH skip REASON" or
#                                   "ARCH fail REASON" (chosen by KV_ARCHS but cannot run)
# KV_ARCHS="x86 x64" (or one of them) chooses the architectures to test by hand; by default every
# one that this machine runs is tested.
# The prefix's user folders are real folders, not links into the Linux home, and Wine's menu
# builder and browser/.NET installers are off, so nothing is written outside the build tree.
set -u
usage='usage: wine-bench.sh start|stop|run BENCH [EXE ARGS...] | can-run x86|x64 | archs'
cmd=${1:?$usage}

# The Wine loader and server of each architecture, called directly: /usr/bin/wine and wineboot
# take the 32-bit loader whenever it is installed, even on a machine that cannot run it.
loader_of() {
  case "$1" in
    x86) echo /usr/lib/wine/wine ;;
    x64) echo /usr/lib/wine/wine64 ;;
    *) return 1 ;;
  esac
}
server_of() {
  case "$1" in
    x86) echo /usr/lib/wine/wineserver32 ;;
    x64) echo /usr/lib/wine/wineserver64 ;;
  esac
}

# can_run ARCH: the architecture's own loader, a program of that architecture, asked for its
# version. A kernel that runs no 32-bit x86 code refuses to start it ("Exec format error").
can_run() {
  local loader out
  loader=$(loader_of "$1") || { echo "$usage" >&2; return 2; }
  if [ ! -x "$loader" ]; then
    echo "$loader is not installed"
    return 1
  fi
  if ! out=$("$loader" --version 2>&1); then
    echo "this machine cannot run $1 programs: $loader: ${out##*: }"
    return 1
  fi
  return 0
}

case "$cmd" in
  can-run)
    can_run "${2:?$usage}"
    exit $?
    ;;
  archs)
    for arch in ${KV_ARCHS:-}; do
      loader_of "$arch" >/dev/null || { echo "wine-bench: KV_ARCHS takes x86 and x64, not $arch" >&2; exit 2; }
    done
    for arch in x86 x64; do
      if [ -n "${KV_ARCHS:-}" ] && [[ " $KV_ARCHS " != *" $arch "* ]]; then
        echo "$arch skip left out by KV_ARCHS=\"$KV_ARCHS\""
      elif reason=$(can_run "$arch"); then
        echo "$arch run"
      elif [ -n "${KV_ARCHS:-}" ]; then
        echo "$arch fail KV_ARCHS asks for $arch, but $reason"
      else
        echo "$arch skip $reason"
      fi
    done
    exit 0
    ;;
esac

bench=${2:?$usage}
shift 2
mkdir -p "$bench"
bench=$(cd "$bench" && pwd)
arch=$(basename "$bench")
WINELOADER=$(loader_of "$arch") || {
  echo "wine-bench: the bench folder's name must be x86 or x64, not $arch" >&2
  exit 2
}
WINESERVER=$(server_of "$arch")
export WINELOADER WINESERVER
export WINEPREFIX="$bench/prefix"
if [ "$arch" = x86 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINELOADERNOEXEC

wine() { "$WINELOADER" "$@"; }
wineserver() { "$WINESERVER" "$@"; }

make_prefix() {
  [ -f "$WINEPREFIX/.kv-ready.2" ] && return 0
  rm -rf "$WINEPREFIX"
  if ! DISPLAY= wine wineboot.exe -i >"$bench/wineboot.log" 2>&1 9>&-; then
    echo "wine-bench: wineboot failed, see $bench/wineboot.log" >&2
    return 1
  fi
  # The display has no window manager: windows that Wine leaves to one wait for it on every
  # hide and destroy (a second each) before Wine gives up.
  if ! DISPLAY= wine reg.exe add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      >>"$bench/wineboot.log" 2>&1 9>&-; then
    echo "wine-bench: cannot configure the prefix, see $bench/wineboot.log" >&2
    return 1
  fi
  wineserver -w
  local users="$WINEPREFIX/drive_c/users"
  local link
  for link in $(find "$users" -maxdepth 2 -type l); do
    rm -f "$link"
    mkdir -p "$link"
  done
  touch "$WINEPREFIX/.kv-ready.2"
}

display_alive() {
  [ -f "$bench/xvfb.pid" ] && [ -f "$bench/display" ] && kill -0 "$(cat "$bench/xvfb.pid")" 2>/dev/null
}

start_display() {
  display_alive && return 0
  rm -f "$bench/display" "$bench/xvfb.pid"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$bench/display.tmp" 9>&- \
    >/dev/null 2>&1 &
  echo $! >"$bench/xvfb.pid"
  local i
  for i in $(seq 1 100); do
    if [ -s "$bench/display.tmp" ]; then
      mv "$bench/display.tmp" "$bench/display"
      return 0
    fi
    sleep 0.1
  done
  echo "wine-bench: Xvfb did not start" >&2
  return 1
}

ensure() {
  (
    flock 9
    make_prefix && start_display
  ) 9>"$bench/lock"
}

case "$cmd" in
  start)
    ensure || exit 1
    # One persistent server for the whole run (a server left from an earlier run is ended first),
    # up and answering before the tests start: clients that start a server at the same moment
    # can find its lock taken before it listens.
    wineserver -k 2>/dev/null
    wineserver -w
    DISPLAY=":$(cat "$bench/display")" setsid wineserver -p </dev/null >/dev/null 2>&1 9>&- &
    for i in $(seq 1 20); do
      DISPLAY=":$(cat "$bench/display")" wine cmd.exe /c exit </dev/null >/dev/null 2>&1 && exit 0
      sleep 0.5
    done
    echo "wine-bench: the wineserver does not answer" >&2
    exit 1
    ;;
  stop)
    wineserver -k 2>/dev/null
    if [ -f "$bench/xvfb.pid" ]; then
      kill "$(cat "$bench/xvfb.pid")" 2>/dev/null
      rm -f "$bench/xvfb.pid" "$bench/display"
    fi
    exit 0
    ;;
  run)
    ensure || exit 1
    # KV_BENCH_DISPLAY puts the program on another display (a person's own, for the demo).
    export DISPLAY=${KV_BENCH_DISPLAY:-":$(cat "$bench/display")"}
    # The program's output goes through a file: Wine's services, started by the first program
    # of a server, inherit its handles and would keep a pipe to the test runner open.
    out=$(mktemp "$bench/out.XXXXXX")
    wine "$@" </dev/null >"$out" 2>&1
    rc=$?
    cat "$out"
    if [ $rc -ne 0 ] && [ ! -s "$out" ]; then
      echo "wine-bench: $1 ended with exit code $rc and printed nothing" >&2
    fi
    rm -f "$out"
    exit $rc
    ;;
  *)
    echo "wine-bench: unknown command $cmd" >&2
    exit 2
    ;;
esac
