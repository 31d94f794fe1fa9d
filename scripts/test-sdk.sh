#!/usr/bin/env bash
# Checks the plug-in SDK: installs the build given as $1 (default build/) into
# a temporary prefix, builds examples/plugin out of tree against it, installs
# the example beside the installed executable and checks that the installed
# application loads it ("-h" lists its option, "-example" runs its job).
# Then builds tests/sdk the same way: plug-ins that use every public class
# through the installed headers alone, and a page that overrides every page
# operation; the installed application runs the check's job "-sdkcheck".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrix-sdk.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() {
    echo "test-sdk: $*" >&2
    exit 1
}
# Runs a step quietly; on failure shows its output (compiler errors included).
quiet() {
    local output
    output=$("$@" 2>&1) || { echo "$output" >&2; fail "failed: $*"; }
}

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

echo "-- installing $build into $prefix"
quiet cmake --install "$build" --prefix "$prefix"

echo "-- building examples/plugin against the installed SDK"
quiet cmake -S "$root/examples/plugin" -B "$work/example" "${generator[@]}" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo
quiet cmake --build "$work/example"
quiet cmake --install "$work/example"

echo "-- building tests/sdk against the installed SDK (public headers only)"
quiet cmake -S "$root/tests/sdk" -B "$work/sdk" "${generator[@]}" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo
quiet cmake --build "$work/sdk"
quiet cmake --install "$work/sdk"

# A private HOME: the run must not touch the user's settings or log.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

usage=$("$prefix/bin/kestrix-studio" -h) || fail "kestrix-studio -h ended with status $?"
grep -q '^-h  ' <<<"$usage" || fail "no -h row in: $usage"
grep -q '^-example  *Prints a greeting from the example plug-in' <<<"$usage" \
    || fail "the installed application does not list the example plug-in: $usage"

greeting=$("$prefix/bin/kestrix-studio" -example) || fail "kestrix-studio -example ended with status $?"
grep -q 'hello from the command line' <<<"$greeting" || fail "the example job did not run: $greeting"

check=$("$prefix/bin/kestrix-studio" -sdkcheck) || fail "kestrix-studio -sdkcheck ended with status $?: $check"
grep -q 'HEX round trip ok' <<<"$check" || fail "the SDK check job did not run: $check"

echo "-- plug-in SDK: ok (example and check plug-ins built out of tree, listed and run by the installed application)"
