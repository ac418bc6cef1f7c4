#!/usr/bin/env bash
# The Wine test bench: a private 32-bit prefix and an Xvfb display under the build tree.
#   wine-bench.sh start BENCH       make the prefix (once), start the display and the wineserver
#   wine-bench.sh stop BENCH        stop the wineserver and the display
#   wine-bench.sh run BENCH EXE...  run a Windows program on the bench, exit with its code
# The prefix's user folders are real folders, not links into the Linux home, and Wine's menu
# builder and browser/.NET installers are off, so nothing is written outside the build tree.
set -u
cmd=${1:?usage: wine-bench.sh start|stop|run BENCH [EXE ARGS...]}
bench=${2:?usage: wine-bench.sh start|stop|run BENCH [EXE ARGS...]}
shift 2
mkdir -p "$bench"
bench=$(cd "$bench" && pwd)

export WINEPREFIX="$bench/prefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINELOADERNOEXEC

make_prefix() {
  [ -f "$WINEPREFIX/.kv-ready" ] && return 0
  rm -rf "$WINEPREFIX"
  if ! DISPLAY= wineboot -i >"$bench/wineboot.log" 2>&1 9>&-; then
    echo "wine-bench: wineboot failed, see $bench/wineboot.log" >&2
    return 1
  fi
  wineserver -w
  local users="$WINEPREFIX/drive_c/users"
  local link
  for link in $(find "$users" -maxdepth 2 -type l); do
    rm -f "$link"
    mkdir -p "$link"
  done
  touch "$WINEPREFIX/.kv-ready"
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
    rm -f "$out"
    exit $rc
    ;;
  *)
    echo "wine-bench: unknown command $cmd" >&2
    exit 2
    ;;
esac
