#!/usr/bin/env bash
# make test: runs every test with CTest. The Windows tests run for each architecture this machine
# can run (wine-bench.sh archs decides, honouring KV_ARCHS); an architecture left out shows in
# CTest's summary as the skipped test ARCH.not-run, and is named here once more at the end.
#   run-tests.sh BUILD JOBS [CTEST ARGS...]
set -u
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: run-tests.sh BUILD JOBS [CTEST ARGS...]}
jobs=${2:?usage: run-tests.sh BUILD JOBS [CTEST ARGS...]}
shift 2
verdicts=$("$src/tools/wine-bench.sh" archs) || exit 2
report() {
  local arch verdict reason
  while read -r arch verdict reason; do
    case "$verdict" in
      run) echo "tests: the $arch Windows tests run" ;;
      skip) echo "tests: the $arch Windows tests are left out: $reason" ;;
      fail) echo "tests: the $arch Windows tests cannot run: $reason" ;;
    esac
  done <<<"$verdicts"
}
report
(cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 300 "$@")
status=$?
report
exit $status
