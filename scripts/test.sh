#!/usr/bin/env bash
# Installs what is needed, builds and runs every test: the normal build, the
# same suite again under AddressSanitizer and UndefinedBehaviorSanitizer, and a
# short bounded run of every fuzz target.
#
# DORMIX_TEST_STAGES picks stages (default "main asan fuzz").
# Tests start their own services (a private PulseAudio with null sinks, Xvfb
# with a window manager and a tray host) and stop them afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

stages="${DORMIX_TEST_STAGES:-main asan fuzz}"
jobs="$(nproc)"
fuzz_seconds="${DORMIX_FUZZ_SECONDS:-30}"

bash scripts/install-deps.sh

has_stage() { [[ " $stages " == *" $1 "* ]]; }

if has_stage main; then
    echo "== build and test (build/)"
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j"$jobs"
    ctest --test-dir build --output-on-failure -j"$jobs" --timeout 900
fi

if has_stage asan; then
    echo "== build and test under ASan/UBSan (build-asan/)"
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DDORMIX_SANITIZE=ON -DDORMIX_BENCH=OFF >/dev/null
    cmake --build build-asan -j"$jobs"
    ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 1800 -LE soak
fi

if has_stage fuzz; then
    echo "== fuzz targets, ${fuzz_seconds}s each (build-fuzz/)"
    cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDORMIX_FUZZ=ON \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
    cmake --build build-fuzz -j"$jobs" --target fuzz_all
    for target in $(find build-fuzz/fuzz -type f -name 'fuzz_*' -perm -u+x | sort); do
        name="$(basename "$target")"
        corpus="fuzz/corpus/${name#fuzz_}"
        work="$(mktemp -d)"
        [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
        echo "-- $name"
        "$target" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -artifact_prefix=build-fuzz/ "$work" 2>&1 | tail -n 3
        rm -rf "$work"
    done
fi
