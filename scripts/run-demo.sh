#!/usr/bin/env bash
# Builds Kestrix Studio and starts it on the demo bench: two simulated KM4200
# motherboards, one of them with outdated firmware, updated by the simulated
# dfu-programmer. The installed packages bring the same as kestrix-studio-demo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"

# A fresh copy of the bench every run, so a demo update never edits a
# tracked file.
bench_dir=$(mktemp -d "${TMPDIR:-/tmp}/kestrix-bench.XXXXXX")
if [ -d "$root/examples/bench" ]; then
    cp -r "$root/examples/bench/." "$bench_dir/"
    export KM4200_BENCH="$bench_dir/bench.ini"
    echo "Demo bench: $KM4200_BENCH (edit it while the application runs to plug boards in and out)"
fi
# The simulated firmware tool flashes the bench's boards.
export KESTRIX_DFU_PROGRAMMER="$root/build/bin/tools/dfu-programmer"
exec "$root/build/bin/kestrix-studio" "$@"
