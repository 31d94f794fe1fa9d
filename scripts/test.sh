#!/usr/bin/env bash
# Builds everything and runs every test suite: first a normal build, the
# plug-in SDK and the Debian packages (installed and purged again on this
# machine, so it needs root or sudo), then a build under AddressSanitizer and
# UndefinedBehaviorSanitizer.
# KESTRIX_SKIP_SANITIZE=1 skips the second pass.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
jobs=$(nproc)

echo "== build"
"$root/scripts/build.sh" "$root/build" -DKESTRIX_WERROR=$werror
echo "== tests"
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

if [ -x "$root/scripts/test-sdk.sh" ]; then
    echo "== plug-in SDK"
    "$root/scripts/test-sdk.sh" "$root/build"
fi

if [ -x "$root/scripts/test-package.sh" ]; then
    echo "== Debian packages"
    "$root/scripts/test-package.sh" "$root/build"
fi

if [ "${KESTRIX_SKIP_SANITIZE:-0}" != "1" ]; then
    echo "== build with sanitizers"
    "$root/scripts/build.sh" "$root/build-sanitize" -DKESTRIX_WERROR=$werror -DKESTRIX_SANITIZE=ON \
        -DKESTRIX_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug
    echo "== tests with sanitizers"
    (cd "$root/build-sanitize" && ctest --output-on-failure -j "$jobs")
fi
