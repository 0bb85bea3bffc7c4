#!/usr/bin/env bash
# Installs what is missing, builds the normal and the sanitizer configuration
# and runs every test of both, headless; then the music player's tests under
# ThreadSanitizer. Every configuration treats compiler warnings as errors.
set -uo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
velmora_install_deps || { echo "test.sh: installing packages failed" >&2; exit 1; }

jobs=${VELMORA_JOBS:-$(nproc)}  # VELMORA_JOBS: fewer cores when several builds share a machine
export QT_QPA_PLATFORM=offscreen VELMORA_MIDI=null VELMORA_SOUND=null
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:suppressions=$PWD/tests/tsan.supp}

status=0
build_and_test() {
  local dir=$1; shift
  echo "== $dir =="
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_WERROR=ON "$@" >/dev/null || return 1
  cmake --build "$dir" -j"$jobs" || return 1
  ctest --test-dir "$dir" -j"$jobs" --output-on-failure --timeout 600
}
build_and_test build -DVELMORA_SANITIZE=OFF || status=1
build_and_test build-asan -DVELMORA_SANITIZE=ON || status=1
build_and_test build-tsan -DVELMORA_TSAN=ON "-DVELMORA_ONLY=model;plat;midi;assets" || status=1

if [ $status -ne 0 ]; then echo "test.sh: FAILED" >&2; fi
exit $status
