#!/usr/bin/env bash
# Builds the Debian packages (scripts/package: dpkg-buildpackage, then lintian, which
# must report nothing), unpacks them into a temporary root (dpkg -x), builds the C and
# C++ examples the -dev package installs against its pkg-config and CMake files there,
# and has them and the unpacked Python package fetch a patient from the unpacked
# simulator.
#   package_test.sh BUILD_DIR SOURCE_DIR      (exit 77: skipped)
set -euo pipefail
build=$(realpath "$1") source=$(realpath "$2")
if ! command -v dh >/dev/null || ! command -v dpkg-buildpackage >/dev/null; then
  echo "skipped: debhelper is not installed (scripts/setup installs it)"
  exit 77
fi
if ! missing=$(cd "$source" && dpkg-checkbuilddeps 2>&1); then
  echo "skipped: $missing (scripts/setup --package installs them)"
  exit 77
fi
if [ ! -e "$build/modules/trellybridge-qt.so" ]; then
  echo "skipped: this build makes no Qt toolkit module (modules/trellybridge-qt.so) for the trellybridge-qt package"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/trellybridge-package-XXXXXX")
. "$source/tests/install/simulator.sh"
trap 'stop_simulator; rm -rf "$work"' EXIT
export TRELLYBRIDGE_DRIVE_C=$work/drive_c XDG_CONFIG_HOME=$work/config
mkdir -p "$TRELLYBRIDGE_DRIVE_C"

# The packages are made from this build (nothing compiled again): packaging/FromBuild.cmake.
out=$build/package-test
started=$SECONDS
TRELLYBRIDGE_PACKAGE_FROM_BUILD=$build "$source/scripts/package" --no-setup --output "$out" \
  >"$work/package.log" 2>&1 ||
  { tail -n 60 "$work/package.log"; echo "scripts/package failed (lintian included)"; exit 1; }
echo "packages built and checked by lintian in $((SECONDS - started)) s"

triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for package in libtrellybridge2013 libtrellybridge-dev trellybridge trellybridge-qt \
               trellybridge-websim trellybridge-server python3-trellybridge; do
  deb=$(find "$out" -maxdepth 1 -name "${package}_*.deb")
  [ -n "$deb" ] || { echo "no package $package"; exit 1; }
  dpkg -x "$deb" "$work/root"
done
# The library a host loads brings no toolkit and no simulator with it.
depends=$(dpkg-deb -f "$out"/libtrellybridge2013_*.deb Depends)
grep -q libcurl <<<"$depends" || { echo "the runtime package does not depend on libcurl: $depends"; exit 1; }
if grep -Eiq 'qt|httplib|ssl' <<<"$depends"; then
  echo "the runtime package depends on more than the library links: $depends"; exit 1
fi
# Nor does the command's package bring an HTTP or TLS server: the simulator's web service
# and the FHIR server are packages of their own.
depends=$(dpkg-deb -f "$out"/trellybridge_*.deb Depends)
if grep -Eiq 'qt|httplib|ssl' <<<"$depends"; then
  echo "the command's package depends on a toolkit or a server library: $depends"; exit 1
fi

root=$work/root libdir=$work/root/usr/lib/$triplet
examples=$root/usr/share/doc/libtrellybridge-dev/examples
start_simulator "$root/usr/bin/trellybridge" "$work/sim.out"
"$root/usr/bin/trellybridge" vendor-sim --https --port 0 --run-for 0.1 >"$work/websim.out" 2>&1 &&
  grep -q '^web service at https://127.0.0.1:' "$work/websim.out" ||
  { cat "$work/websim.out"; echo "the simulator's web service did not start from its package"; exit 1; }
# The service's package: its unit, its account, and the command finds its network side.
unit=lib/systemd/system/trellybridge-server.service
[ -f "$root/$unit" ] || [ -f "$root/usr/$unit" ] || { echo "trellybridge-server has no $unit"; exit 1; }
for file in usr/lib/sysusers.d/trellybridge-server.conf etc/trellybridge/serve.env; do
  [ -f "$root/$file" ] || { echo "trellybridge-server does not install /$file"; exit 1; }
done
printf 'orders %s\n' "$(head -c 24 /dev/urandom | od -An -tx1 | tr -d ' \n')" >"$work/tokens"
chmod 600 "$work/tokens"
"$root/usr/bin/trellybridge" serve --check --insecure-loopback --tokens "$work/tokens" \
  --set NetworkBridgeType=TCPIP --set TCPRemoteHostName=127.0.0.1 --set VendorFormatType=HL7 ||
  { echo "trellybridge serve cannot check its configuration from its package"; exit 1; }
expect_patient() {  # PROGRAM...: finds patient 12345 and not 99999
  local output status=0
  output=$("$@" 127.0.0.1 "$SIM_PORT" 12345)
  grep -qx 'p1PatientLastName: DOE' <<<"$output" || { echo "$*: $output"; return 1; }
  "$@" 127.0.0.1 "$SIM_PORT" 99999 >/dev/null || status=$?
  [ "$status" -eq 1 ] || { echo "$*: a patient the vendor lacks gave status $status"; return 1; }
  echo "ok: $*"
}

# pkg-config, as a cross build sees a sysroot: the .pc file's paths are the plain /usr ones.
export PKG_CONFIG_LIBDIR=$libdir/pkgconfig
for variable in includedir:/usr/include libdir:/usr/lib/$triplet; do
  value=$(pkg-config --variable="${variable%%:*}" trellybridge)
  [ "$value" = "${variable#*:}" ] || { echo "the .pc file's ${variable%%:*}: $value"; exit 1; }
done
export PKG_CONFIG_SYSROOT_DIR=$root
export PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 PKG_CONFIG_ALLOW_SYSTEM_LIBS=1
read -r -a flags <<<"$(pkg-config --cflags --libs trellybridge)"
cc -Wall -Werror "$examples/c/fetch_patient.c" "${flags[@]}" -o "$work/fetch_patient"
c++ -std=c++20 -Wall -Werror "$examples/cpp/fetch_patient.cpp" "${flags[@]}" \
  -o "$work/fetch_patient_cpp"
unset PKG_CONFIG_SYSROOT_DIR PKG_CONFIG_LIBDIR
LD_LIBRARY_PATH=$libdir expect_patient "$work/fetch_patient"
LD_LIBRARY_PATH=$libdir expect_patient "$work/fetch_patient_cpp"

# find_package(TrellyBridge) from the unpacked CMake files.
cmake -S "$examples" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/cmake" >/dev/null
LD_LIBRARY_PATH=$libdir expect_patient "$work/cmake/fetch_patient"
LD_LIBRARY_PATH=$libdir expect_patient "$work/cmake/fetch_patient_cpp"

# The Python package as python3-trellybridge installs it, loading the unpacked library.
export PYTHONPATH=$root/usr/lib/python3/dist-packages
export TRELLYBRIDGE_LIBRARY=$libdir/libtrellybridge.so.2013
/usr/bin/python3 -c 'import sys, trellybridge; assert trellybridge.__file__.startswith(sys.argv[1]), trellybridge.__file__' "$root"
expect_patient /usr/bin/python3 "$root/usr/share/doc/python3-trellybridge/examples/fetch_patient.py"
echo "the packages install, pass lintian and serve C, C++ and Python hosts"
