#!/usr/bin/env bash
# Checks the Debian packages on this machine: builds them from the build tree
# given as $1 (default build/), runs lintian (an error fails), installs them
# with apt, and checks the installed application: its usage, its man page,
# its AppStream file, a headless -program on a copy of the demo bench as a
# normal user, the demo command with the simulated firmware tool, an update
# that reaches Debian's dfu-programmer (no board on the bus), and the example
# plug-in built against the installed SDK. Then upgrades to a newer build and
# purges both packages, also when a step fails, and checks that nothing of
# ours is left. Needs root, or sudo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
packages=(kestrix-studio kestrix-studio-dev)

fail() {
    echo "test-package: $*" >&2
    exit 1
}
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || fail "needs root or sudo to install packages"
    sudo=(sudo)
fi
installed() { # package: installed or left with its configuration
    dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null | grep -q '^[a-z][iUFHWtc]'
}
for package in "${packages[@]}"; do
    installed "$package" && fail "$package is installed on this machine; this test installs and purges its own build, so remove it first (apt purge $package)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrix-package.XXXXXX")
chmod 755 "$work"
# What installing the example plug-in put beside the application.
example_manifest=$work/example/install_manifest.txt
remove_example() {
    if [ -f "$example_manifest" ]; then
        xargs -d '\n' "${sudo[@]}" rm -f <"$example_manifest"
        rm -f "$example_manifest"
    fi
}
cleanup() {
    local status=$?
    remove_example
    local left=()
    for package in "${packages[@]}"; do
        installed "$package" && left+=("$package")
    done
    if [ ${#left[@]} -gt 0 ]; then
        echo "-- purging ${left[*]}"
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${left[@]}" >/dev/null || status=1
    fi
    rm -rf "$work"
    exit $status
}
trap cleanup EXIT

# Runs a step quietly; on failure shows its output.
quiet() {
    local output
    output=$("$@" 2>&1) || { echo "$output" >&2; fail "failed: $*"; }
}
apt_install() {
    quiet "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"
}

"$root/scripts/install-deps.sh"

# The newer build first, so the tree is left configured for the first one.
echo "-- building the packages (revision 2, then 1) from $build"
quiet env KESTRIX_PACKAGE_RELEASE=2 "$root/scripts/package.sh" "$build" "$work/newer"
quiet "$root/scripts/package.sh" "$build" "$work/debs"
debs=("$work"/debs/kestrix-studio_*.deb "$work"/debs/kestrix-studio-dev_*.deb)
newer=("$work"/newer/kestrix-studio_*.deb "$work"/newer/kestrix-studio-dev_*.deb)
for deb in "${debs[@]}" "${newer[@]}"; do
    [ -f "$deb" ] || fail "no package $deb"
done
ls -l "${debs[@]}" | awk '{ print "   ", $5, $NF }'

depends=$(dpkg-deb -f "${debs[0]}" Depends)
grep -q 'libqt5widgets5' <<<"$depends" || fail "Depends of ${debs[0]} lacks the Qt libraries: $depends"
[ "$(dpkg-deb -f "${debs[0]}" Recommends)" = dfu-programmer ] || fail "${debs[0]} does not recommend dfu-programmer"

echo "-- lintian"
status=0
lintian_output=$(lintian --fail-on error "${debs[@]}" 2>&1) || status=$?
# Its warning about root is for unpacking untrusted packages; these are ours.
lintian_output=$(grep -v 'running with root privileges' <<<"$lintian_output" || true)
[ -z "$lintian_output" ] || sed 's/^/    /' <<<"$lintian_output"
[ "$status" -eq 0 ] || fail "lintian found errors (status $status)"

echo "-- installing with apt"
apt_install "${debs[@]}"
files=$(dpkg -L "${packages[@]}")

# The jobs run as a normal user where the test has root, with a HOME of
# their own and no display.
user_dir=$work/user
mkdir -p "$user_dir/home" "$user_dir/tmp" "$user_dir/runtime"
chmod 700 "$user_dir/runtime"
as_user=(env HOME="$user_dir/home" TMPDIR="$user_dir/tmp" XDG_RUNTIME_DIR="$user_dir/runtime" QT_QPA_PLATFORM=offscreen)
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody "$user_dir"
    as_user=(runuser -u nobody -- "${as_user[@]}")
fi
bench() { # copies the installed demo bench for one run
    mkdir -p "$user_dir/$1"
    cp -R /usr/share/kestrix-studio/demo/bench/. "$user_dir/$1/"
    [ "$(id -u)" -ne 0 ] || chown -R nobody "$user_dir/$1"
    echo "$user_dir/$1/bench.ini"
}

usage=$("${as_user[@]}" /usr/bin/kestrix-studio -h) || fail "kestrix-studio -h ended with status $?"
for option in -program -updatefirmware; do
    grep -q -- "^$option " <<<"$usage" || fail "the installed application does not list its plug-ins' $option: $usage"
done
for page in kestrix-studio kestrix-studio-demo; do
    man -w "$page" >/dev/null || fail "no man page for $page"
done
quiet appstreamcli validate --no-net /usr/share/metainfo/*kestrix_studio.metainfo.xml
[ -f /usr/lib/udev/rules.d/60-kestrix-studio.rules ] || fail "no udev rule installed"

echo "-- -program on a copy of the demo bench"
output=$("${as_user[@]}" KM4200_BENCH="$(bench program)" /usr/bin/kestrix-studio \
    -program /usr/share/kestrix-studio/demo/module/demo-module.hex -board all -json) \
    || fail "-program ended with status $?: $output"
[ "$(grep -c '"result":"programmed"' <<<"$output")" -eq 2 ] || fail "-program did not program both demo boards: $output"

echo "-- kestrix-studio-demo: the firmware update with the simulated tool"
output=$("${as_user[@]}" /usr/bin/kestrix-studio-demo -updatefirmware -board 1 2>&1) \
    || fail "kestrix-studio-demo -updatefirmware ended with status $?: $output"
grep -q 'Using dfu-programmer at /usr/lib/kestrix-studio/tools/dfu-programmer' <<<"$output" \
    || fail "the demo did not use the simulated tool: $output"
grep -q 'Board 1 is updated' <<<"$output" || fail "the demo did not update board 1: $output"
[ -z "$(ls -A "$user_dir/tmp")" ] || fail "kestrix-studio-demo left its bench behind: $(ls "$user_dir/tmp")"

echo "-- an update that reaches Debian's dfu-programmer, with no board on the bus"
status=0
output=$("${as_user[@]}" KM4200_BENCH="$(bench real-tool)" KESTRIX_BOOTLOADER_WAIT_MS=5000 \
    /usr/bin/kestrix-studio -updatefirmware -board 1) || status=$?
[ "$status" -eq 1 ] || fail "the update ended with status $status, not 1: $output"
grep -q "Using dfu-programmer at $(command -v dfu-programmer)" <<<"$output" \
    || fail "the update did not use the distribution's dfu-programmer: $output"
grep -q 'no device present' <<<"$output" || fail "dfu-programmer's own message is not reported: $output"
grep -q 'unplug and replug the board' <<<"$output" || fail "no advice after 'no device present': $output"

echo "-- the example plug-in against the installed SDK (no prefix given)"
diff -r -q "$root/examples/plugin" /usr/share/doc/kestrix-studio-dev/examples >/dev/null \
    || fail "the installed example differs from examples/plugin"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
quiet cmake -S "$root/examples/plugin" -B "$work/example" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
quiet cmake --build "$work/example"
quiet "${sudo[@]}" cmake --install "$work/example" --prefix /usr
grep -qx '/usr/lib/kestrix-studio/[^/]*\.so' "$example_manifest" \
    || fail "the example plug-in was not installed beside the application: $(cat "$example_manifest")"
greeting=$("${as_user[@]}" /usr/bin/kestrix-studio -example) || fail "kestrix-studio -example ended with status $?"
grep -q 'hello from the command line' <<<"$greeting" || fail "the installed application did not load the example: $greeting"
remove_example

echo "-- upgrading to a newer build"
apt_install "${newer[@]}"
for package in "${packages[@]}"; do
    version=$(dpkg-query -W -f='${Version}' "$package")
    [[ $version == *-2 ]] || fail "$package is at $version after the upgrade"
done
"${as_user[@]}" /usr/bin/kestrix-studio -h >/dev/null || fail "kestrix-studio -h fails after the upgrade"

echo "-- purging"
quiet "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${packages[@]}"
for package in "${packages[@]}"; do
    installed "$package" && fail "$package is still known to dpkg after the purge"
done
# Files and links go; of the folders, the ones named after us.
left=()
while read -r path; do
    if [ -L "$path" ] || [ -f "$path" ] || { [ -d "$path" ] && [[ ${path,,} == *kestrix* ]]; }; then
        left+=("$path")
    fi
done <<<"$files"
[ ${#left[@]} -eq 0 ] || fail "left behind after the purge: ${left[*]}"

echo "-- Debian packages: ok (lintian without errors; installed, used, upgraded and purged without leftovers)"
