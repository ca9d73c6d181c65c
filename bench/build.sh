# Sourced by the benchmark scripts: builds TARGETS in Release into build-bench/
# (the log in build-bench/bench-build.log, shown only when the build fails) and
# prints the machine line that heads every set of figures.
#   bench_build SCRIPT_NAME TARGET...
bench_build() {
    local name="$1"
    shift
    cd "$(dirname "${BASH_SOURCE[0]}")/.."
    build=build-bench
    local log="$build/bench-build.log"
    mkdir -p "$build"
    if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVRIN_BUILD_GUI=OFF -DTAVRIN_BUILD_BENCH=ON &&
           cmake --build "$build" -j"$(nproc)" --target "$@"; } >"$log" 2>&1; then
        cat "$log" >&2
        echo "$name: the build failed (log: $log)" >&2
        exit 1
    fi
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(uname -m), load average $(cut -d" " -f1-3 /proc/loadavg)"
}
