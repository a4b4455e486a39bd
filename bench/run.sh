#!/usr/bin/env bash
# The benchmark: tafelix (release build) on random-pixel bitmaps, each run
# paired with a floor (cp of the file it wrote to a new path), and xxd -i on
# the same bitmaps as a peer. Prints medians; asserts nothing.
#
#   bash bench/run.sh [--large] [--runs N] [--no-xxd] [--dir DIR]
#
#   --large    also 8192x8192 (a 192 MiB bitmap, 590 MB of output)
#   --runs N   timed pairs per row after one warm-up pair (default 11)
#   --no-xxd   leave out the xxd -i rows
#   --dir DIR  where the bitmaps and outputs go (default build/bench)
#
# Needs cmake, a C++17 compiler, cp and xxd. Bitmaps are made once and
# reused; each is the same bytes on every machine.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=11
large=0
xxd_rows=1
dir=build/bench
while [ $# -gt 0 ]; do
    case "$1" in
        --large) large=1 ;;
        --runs) runs="$2"; shift ;;
        --no-xxd) xxd_rows=0 ;;
        --dir) dir="$2"; shift ;;
        *) echo "usage: bash bench/run.sh [--large] [--runs N] [--no-xxd] [--dir DIR]" >&2; exit 2 ;;
    esac
    shift
done
if [ "$xxd_rows" = 1 ] && ! command -v xxd >/dev/null; then
    echo "bench: xxd is missing (Debian: apt-get install xxd), or use --no-xxd" >&2
    exit 1
fi

echo "== building the bench preset (the release build and the benchmark's helpers)"
cmake --preset bench >/dev/null
bin=build/release-bench
cmake --build "$bin" -j 2 --target tafelix write_bitmap tafelix_time_pairs >/dev/null
tafelix=$bin/tafelix
timer=$bin/bench/tafelix_time_pairs

mkdir -p "$dir"
sizes=("1 1 1" "1021 767 1" "4096 4096 2")
if [ "$large" = 1 ]; then
    sizes+=("8192 8192 3")
fi
for s in "${sizes[@]}"; do
    read -r w h seed <<<"$s"
    if [ ! -f "$dir/random-${w}x${h}.bmp" ]; then
        echo "== making $dir/random-${w}x${h}.bmp"
        "$bin/bench/write_bitmap" "$dir/random-${w}x${h}.bmp" "$w" "$h" "$seed"
    fi
done

results="$dir/results.tsv"
: >"$results"
echo
echo "date:    $(date)"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ *//'), $(uname -sr)"
echo "load:    $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null) (1, 5, 15 min) at the start"
echo "runs:    $runs timed pairs after one warm-up pair; medians; floor = cp of the output to a new path"
echo
"$timer" --header
for s in "${sizes[@]}"; do
    read -r w h seed <<<"$s"
    bmp="$dir/random-${w}x${h}.bmp"
    pixels=$((w * h))
    per_pixel=()
    if [ "$pixels" -gt 1 ]; then
        per_pixel=(--pixels "$pixels")
    fi
    "$timer" --runs "$runs" "${per_pixel[@]}" --tsv "$results" "tafelix ${w}x${h}" "$bmp" "$dir/out.h" -- \
        "$tafelix" "$bmp" "$dir/out.h" random
    if [ "$xxd_rows" = 1 ] && [ "$pixels" -gt 1 ]; then
        "$timer" --runs "$runs" --pixels "$pixels" --tsv "$results" "xxd -i ${w}x${h}" "$bmp" "$dir/out.xxd" -- \
            xxd -i "$bmp" "$dir/out.xxd"
    fi
done
echo "load:    $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null) (1, 5, 15 min) at the end"

# The summary, from the rows above: the 4096x4096 ratios, xxd against
# tafelix, and the cost per pixel of each size: raw, net of the fixed cost
# of a run (the 1x1 bitmap: starting the process, opening the files, the
# first output block), and the marginal cost from the next smaller size.
echo
awk -F'\t' '
    { wall[$1] = $3; ratio[$1] = $6; inb[$1] = $7; peak[$1] = $9 * 1024; nspx[$1] = $10 }
    /^tafelix / { order[++n] = $1 }
    END {
        big = "tafelix 4096x4096"
        fixed = wall["tafelix 1x1"]
        printf "4096x4096: wall %.3f s = %.2fx the cp floor; peak RSS %.2fx the input\n",
               wall[big], ratio[big], peak[big] / inb[big]
        if (("xxd -i 4096x4096") in wall)
            printf "xxd -i 4096x4096 takes %.1fx as long as tafelix\n", wall["xxd -i 4096x4096"] / wall[big]
        printf "fixed cost of a run (1x1 bitmap): %.1f ms\n", 1000 * fixed
        net_big = (wall[big] - fixed) / 16777216
        for (i = 1; i <= n; ++i) {
            label = order[i]
            split(substr(label, 9), d, "x")
            px[i] = d[1] * d[2]
            if (px[i] < 2) continue
            line = sprintf("%-18s %6.2f ns/px (%+4.0f%%), net of the fixed cost %5.2f ns/px (%+4.0f%%)",
                           label, nspx[label], 100 * (nspx[label] / nspx[big] - 1),
                           1e9 * (wall[label] - fixed) / px[i], 100 * ((wall[label] - fixed) / px[i] / net_big - 1))
            if (i > 2)
                line = line sprintf(", marginal %5.2f ns/px", 1e9 * (wall[label] - wall[order[i - 1]]) / (px[i] - px[i - 1]))
            print line
        }
        print "(percentages against 4096x4096)"
    }' "$results"
