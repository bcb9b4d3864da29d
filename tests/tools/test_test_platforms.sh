#!/usr/bin/env bash
# tools/test-platforms' own decisions, with cmake, ctest, the compiler and wine's server
# replaced by stubs that log their calls: a machine that cannot start 32-bit programs builds
# the 32-bit platforms and names them as not run; only wine's lost connection earns a second
# run of the failed tests; any other failure fails the run.
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/repo/tools" "$work/bin" "$work/prefix"
cp "$1/tools/test-platforms" "$work/repo/tools/"
failures=0
check() {  # check NAME CONDITION...
  local name=$1
  shift
  if "$@"; then echo "ok: $name"; else echo "FAILED: $name"; failures=$((failures + 1)); fi
}

# cmake and wineserver log and succeed. ctest logs, then acts as CTEST says: pass, fail, or
# "wine" (fails as wine's lost connection does, and passes the rerun of the failed tests).
# cc makes the probe as PROBE says: "runs" (a program that starts), "refused" (a file that
# cannot be started) or "none" (no compiler for it).
cat >"$work/bin/cmake" <<'STUB'
#!/usr/bin/env bash
echo "cmake $*" >>"$LOG"
STUB
cat >"$work/bin/wineserver" <<'STUB'
#!/usr/bin/env bash
STUB
cat >"$work/bin/ctest" <<'STUB'
#!/usr/bin/env bash
echo "ctest $*" >>"$LOG"
case $CTEST in
  pass) exit 0 ;;
  fail) echo "1/1 Test #1: Some.Case ... Failed"; exit 8 ;;
  wine)
    case " $* " in *" --rerun-failed "*) exit 0 ;; esac
    echo "wine client error:0: recvmsg: Connection reset by peer"
    exit 8
    ;;
esac
STUB
cat >"$work/bin/cc" <<'STUB'
#!/usr/bin/env bash
out=
while [ "$#" -gt 0 ]; do [ "$1" = -o ] && out=$2; shift; done
case $PROBE in
  runs) printf '#!/bin/sh\nexit 0\n' >"$out"; chmod 755 "$out" ;;
  refused) printf 'not a program\n' >"$out"; chmod 644 "$out" ;;
  none) exit 1 ;;
esac
STUB
chmod 755 "$work/bin/"*

run() {  # run PROBE CTEST PLATFORM...
  local probe=$1 ctest=$2
  shift 2
  : >"$work/log"
  (cd "$work/repo" && PATH="$work/bin:$PATH" LOG="$work/log" PROBE=$probe CTEST=$ctest \
    WINEPREFIX="$work/prefix" BUILD_PREFIX="$work/build-" JOBS=1 \
    bash tools/test-platforms "$@" >"$work/out" 2>&1)
}
builds() { grep -c -- "^cmake --build" "$work/log"; }
ctests() { grep -c "^ctest" "$work/log"; }

run refused pass linux32 win32
check "no 32-bit programs: the run passes" test $? -eq 0
check "no 32-bit programs: both platforms built" test "$(builds)" -eq 2
check "no 32-bit programs: no tests run" test "$(ctests)" -eq 0
check "no 32-bit programs: both named as not run" \
  grep -q "built but not run on this machine (no 32-bit x86 programs): linux32 win32" "$work/out"

for probe in runs none; do
  run "$probe" pass linux32 win64
  check "probe $probe: the run passes" test $? -eq 0
  check "probe $probe: both platforms' tests run" test "$(ctests)" -eq 2
  check "probe $probe: nothing named as not run" bash -c "! grep -q 'not run' '$work/out'"
done

run runs wine win64
check "wine's lost connection: passes on the second run" test $? -eq 0
check "wine's lost connection: the failed tests run once more" \
  grep -q -- "^ctest --rerun-failed" "$work/log"

run runs fail linux32
check "a failing test fails the run" test $? -eq 1
check "a failing test is not run again" test "$(ctests)" -eq 1

[ "$failures" -eq 0 ]
