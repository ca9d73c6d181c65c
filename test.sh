#!/usr/bin/env bash
# Builds everything and runs every test through CTest.
#   ./test.sh                              plain build in build/
#   ./test.sh --sanitize=address,undefined build in build-asan/ with ASan + UBSan
#   ./test.sh --sanitize=thread            build in build-tsan/ with TSan
#   ./test.sh --locales="de_DE.UTF-8"      the locales of the runs after the first
#                                          (default de_DE.UTF-8 tr_TR.UTF-8; "" for none)
#   ./test.sh -R link                      extra arguments go to ctest
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh test
# The locales the suite also runs under (generated when the machine lacks them).
bash scripts/locales.sh

sanitize=""
locales="de_DE.UTF-8 tr_TR.UTF-8"
ctest_args=()
for arg in "$@"; do
    case "$arg" in
        --sanitize=*) sanitize="${arg#--sanitize=}" ;;
        --locales=*) locales="${arg#--locales=}" ;;
        *) ctest_args+=("$arg") ;;
    esac
done

build=build
case "$sanitize" in
    "") ;;
    thread) build=build-tsan ;;
    *) build=build-asan ;;
esac

cmake -S . -B "$build" -DTAVRIN_SANITIZE="$sanitize" -DTAVRIN_WERROR=ON \
    -DTAVRIN_BUILD_TESTS=ON -DTAVRIN_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Qt is not built with ThreadSanitizer: see tests/tsan_suppressions.txt.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan_suppressions.txt"
# Cases labelled "slow" start servers of their own (an X server with a window
# manager, Prometheus, the package tools): they run once, in the plain build's
# first run; the end-to-end cases once more under a decimal comma.
once=()
[ -n "$sanitize" ] && once=(-LE slow)
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "${once[@]}" "${ctest_args[@]}"

# The desktop program takes the C library's locale from the environment (its Qt
# application does), and the simulated unit and the tools run inside or beside
# it: the suites that read, write or show numbers and text run again under a
# decimal comma, and under Turkish case rules. The wire's suites (link, faults)
# handle bytes only and run once.
locale_suites="app|bridge|gui|pages|params|platform|sim|tools"
for loc in $locales; do
    echo "=== the suites of numbers, text and windows under LANG=LC_ALL=$loc"
    LANG="$loc" LC_ALL="$loc" ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -L "^($locale_suites)\$" -LE slow "${ctest_args[@]}"
    if [ -z "$sanitize" ] && [ "$loc" = de_DE.UTF-8 ]; then
        echo "=== the end-to-end cases under LANG=LC_ALL=$loc"
        LANG="$loc" LC_ALL="$loc" ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -L e2e "${ctest_args[@]}"
    fi
done
