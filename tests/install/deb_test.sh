#!/usr/bin/env bash
# Makes the Debian package from the build, unpacks it into a temporary root (dpkg -x) and
# runs the command from there; the package holds the library, headers and man page.
#   deb_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/trellybridge-deb-XXXXXX")
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >/dev/null
deb=$(find "$work/out" -maxdepth 1 -name 'trellybridge_*.deb')
[ -n "$deb" ] || { echo "no package was made"; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q libcurl || { echo "the package does not depend on libcurl"; exit 1; }
dpkg -x "$deb" "$work/root"
for file in usr/bin/trellybridge usr/include/trellybridge/trellybridge.h \
            usr/share/man/man1/trellybridge.1.gz usr/lib/pkgconfig/trellybridge.pc \
            usr/lib/cmake/TrellyBridge/TrellyBridgeConfig.cmake; do
  [ -e "$work/root/$file" ] || { echo "missing from the package: $file"; exit 1; }
done
ls "$work/root"/usr/lib/libtrellybridge.so.2013* >/dev/null
help=$("$work/root/usr/bin/trellybridge" --help)
grep -q 'get-patient' <<<"$help" || { echo "trellybridge --help: $help"; exit 1; }
echo "ok: $(basename "$deb")"
