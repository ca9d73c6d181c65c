#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/fuzz_*.cpp) with clang in build-fuzz/ and
# runs each for the given number of seconds on its corpus.
#   fuzz/run.sh 60            every target, 60 s each
#   fuzz/run.sh 10 fuzz_tcp_reply
#   fuzz/run.sh --seeds       rewrite the committed seeds in fuzz/corpus/<target>/
# New inputs found while running go to build-fuzz/corpus/<target>/ (not
# committed); crashes are written to build-fuzz/crashes/ and fail the script.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=10
seeds_only=0
targets=()
for arg in "$@"; do
    case "$arg" in
        --seeds) seeds_only=1 ;;
        [0-9]*) seconds="$arg" ;;
        *) targets+=("$arg") ;;
    esac
done

build=build-fuzz
cxx="$(command -v clang++-14 || command -v clang++)"
# The core is built with coverage for the fuzzer and with the same sanitizers
# as the targets; the gcc-only warning spelling of the project is tolerated.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
flags+=" -Wno-unknown-warning-option"
flags+=" -fsanitize-coverage-ignorelist=$PWD/fuzz/coverage_ignore.txt"
CXX="$cxx" cmake -S . -B "$build" -DTAVRIN_FUZZ=ON -DTAVRIN_BUILD_GUI=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="$flags" >/dev/null

if [ ${#targets[@]} -eq 0 ]; then
    for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
cmake --build "$build" -j"${FUZZ_JOBS:-2}" --target "${targets[@]}"

# The longest input a target is given (libFuzzer's -max_len; by default the
# longest seed, at least 4096 bytes). Configuration files are read item by item
# several times over, so they are kept to a few records: two full records or a
# set of short ones (640), one full record or a set of sixteen records of the
# mode item alone (512). A bridge client's bytes are read again after every
# piece; 512 bytes hold the nine envelopes a client may have under way.
max_len_of() {
    case "$1" in
        fuzz_config_file) echo 640 ;;
        fuzz_bridge_client) echo 512 ;;
        fuzz_config_check) echo 512 ;;
        *) echo 0 ;;
    esac
}

# No allocation stacks are recorded while fuzzing (malloc_context_size=0): taking
# one on every allocation was a third of the time of the targets that allocate
# per item. Every error is still found; replaying the input without these
# options (see fuzz/README.md) prints the report with its allocation stack.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:malloc_context_size=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/crashes"
failed=()
summary=()
for t in "${targets[@]}"; do
    seeds="fuzz/corpus/$t"
    if [ "$seeds_only" -eq 1 ]; then
        rm -rf "$seeds"; mkdir -p fuzz/corpus
        TAVRIN_FUZZ_WRITE_SEEDS="$seeds" "$build/bin/$t"
        continue
    fi
    work="$build/corpus/$t"
    mkdir -p "$work"
    echo "== $t: ${seconds}s"
    limit=()
    [ "$(max_len_of "$t")" -gt 0 ] && limit=(-max_len="$(max_len_of "$t")")
    before=$(find "$build/crashes" -name "$t-*" | wc -l)
    start=$(date +%s.%N)
    status=0
    "$build/bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${limit[@]}" \
        -print_final_stats=1 -artifact_prefix="$build/crashes/$t-" "$work" "$seeds" \
        >"$build/$t.log" 2>&1 || status=$?
    end=$(date +%s.%N)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$t.log" | tail -n 1)
    runs=${runs:-$(sed -n 's/^#\([0-9]*\).*/\1/p' "$build/$t.log" | tail -n 1)}
    runs=${runs:-0}
    findings=$(( $(find "$build/crashes" -name "$t-*" | wc -l) - before ))
    rate=$(awk -v n="$runs" -v a="$start" -v b="$end" 'BEGIN { printf "%d", n / (b - a) }')
    summary+=("$(printf '%-22s %12s %9s %9s' "$t" "$runs" "$rate" "$findings")")
    if [ "$status" -ne 0 ] || [ "$findings" -gt 0 ]; then
        failed+=("$t")
        tail -n 40 "$build/$t.log"
    fi
done
if [ ${#summary[@]} -gt 0 ]; then
    echo
    printf '%-22s %12s %9s %9s\n' target executions exec/s findings
    printf '%s\n' "${summary[@]}"
fi
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found problems in: ${failed[*]} (inputs in $build/crashes/)" >&2
    exit 1
fi
