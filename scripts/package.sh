#!/usr/bin/env bash
# Builds the Debian packages from the build tree given as $1 (default build/;
# configured and built first, incrementally) into the folder given as $2
# (default <build>/packages):
#   kestrix-studio_<version>-<release>_<arch>.deb       the application
#   kestrix-studio-dev_<version>-<release>_<arch>.deb   the plug-in SDK
# The version is the project's (CMakeLists.txt); KESTRIX_PACKAGE_RELEASE
# (default 1) is the Debian revision: raise it for a newer build of the same
# version.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
output=$(realpath -m "${2:-$build/packages}")
release=${KESTRIX_PACKAGE_RELEASE:-1}
if [[ ! $release =~ ^[1-9][0-9]*$ ]]; then
    echo "package: KESTRIX_PACKAGE_RELEASE must be a positive number, not '$release'" >&2
    exit 2
fi

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$build" -DKESTRIX_PACKAGE_RELEASE="$release"

staging=$build/cpack
rm -rf "$staging"
mkdir -p "$staging" "$output"
if ! (cd "$build" && cpack -G DEB -B "$staging") >"$staging/cpack.log" 2>&1; then
    cat "$staging/cpack.log" >&2
    echo "package: cpack failed for the build tree $build (log above)" >&2
    exit 1
fi
shopt -s nullglob
debs=("$staging"/kestrix-studio*_*-"$release"_*.deb)
if [ ${#debs[@]} -ne 2 ]; then
    echo "package: expected 2 packages in $staging, found ${#debs[@]}: ${debs[*]}" >&2
    exit 1
fi
cp "${debs[@]}" "$output/"
for deb in "${debs[@]}"; do
    echo "$output/$(basename "$deb")"
done
