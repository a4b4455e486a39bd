#!/usr/bin/env bash
# Fuzzes each target for SECONDS seconds, one after the other, one process
# each, after building the targets with clang and libFuzzer.
#
#   bash fuzz/run.sh [SECONDS] [TARGET...]     default: 60 s, every target
#
# TAFELIX_FUZZ_PRESET picks the build: "fuzz" (default; AddressSanitizer and
# UBSan) or "fuzz-fast" (UBSan only, for long runs: many times the executions
# per second, since AddressSanitizer maps and unmaps the writer's 256 KiB
# text block on every run). TAFELIX_FUZZ_MAX_LEN caps the input size (default 4096).
#
# Seeds come from the tests' bitmap builder and tests/data/bmpsuite. The
# inputs worth keeping go to build/fuzz-corpus/TARGET, shared by both builds,
# so later runs go on from there. A finding (crash, sanitizer report, broken
# property, a run over 10 s, one allocation over TAFELIX_FUZZ_MALLOC_MB,
# default 16) ends the script with status 1 and leaves the input in
# build/fuzz-findings/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
    targets=(fuzz_decode fuzz_convert)
fi
preset="${TAFELIX_FUZZ_PRESET:-fuzz}"
max_len="${TAFELIX_FUZZ_MAX_LEN:-4096}"
malloc_mb="${TAFELIX_FUZZ_MALLOC_MB:-16}"
out="build/$preset"

mkdir -p build
if ! cmake --workflow --preset "$preset" > "build/$preset-build.log" 2>&1; then
    cat "build/$preset-build.log"
    exit 1
fi

seeds="build/fuzz-seeds"
rm -rf "$seeds"
mkdir -p "$seeds"
"$out/fuzz/write_bitmap" --seeds "$seeds"
for f in tests/data/bmpsuite/*/*.bmp; do
    cp "$f" "$seeds/bmpsuite-$(basename "$(dirname "$f")")-$(basename "$f")"
done

status=0
for target in "${targets[@]}"; do
    corpus="build/fuzz-corpus/$target"
    findings="build/fuzz-findings/$target"
    log="$out/$target.log"
    mkdir -p "$corpus" "$findings"
    echo "== $target ($preset): fuzzing for $seconds s, log in $log"
    if "$out/fuzz/$target" "$corpus" "$seeds" \
        -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
        -rss_limit_mb=2048 -malloc_limit_mb="$malloc_mb" \
        -dict=fuzz/bmp.dict -artifact_prefix="$findings/" -print_final_stats=1 > "$log" 2>&1; then
        grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$log" || true
        grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
        echo "$target: no findings"
    else
        tail -n 60 "$log"
        echo "$target: FINDING, see $log and $findings/" >&2
        status=1
    fi
done
exit "$status"
