#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds the C and C++ examples against
# it, once through CMake's find_package and once through pkg-config, installs the Python
# binding into a plain virtual environment, and has each fetch a patient from the
# installed simulator.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1") source=$(realpath "$2")
work=$(mktemp -d "${TMPDIR:-/tmp}/trellybridge-install-XXXXXX")
. "$source/tests/install/simulator.sh"
trap 'stop_simulator; rm -rf "$work"' EXIT
prefix=$work/prefix
# The examples' logs and settings stay in the test's folder.
export TRELLYBRIDGE_DRIVE_C=$work/drive_c XDG_CONFIG_HOME=$work/config
mkdir -p "$TRELLYBRIDGE_DRIVE_C"

cmake --install "$build" --prefix "$prefix" >/dev/null
start_simulator "$prefix/bin/trellybridge" "$work/sim.out"

expect_patient() {  # PROGRAM...: finds patient 12345 and not 99999
  local output
  output=$("$@" 127.0.0.1 "$SIM_PORT" 12345)
  grep -qx 'p1PatientLastName: DOE' <<<"$output" || { echo "$*: $output"; return 1; }
  local status=0
  "$@" 127.0.0.1 "$SIM_PORT" 99999 >/dev/null || status=$?
  [ "$status" -eq 1 ] || { echo "$*: a patient the vendor lacks gave status $status"; return 1; }
  echo "ok: $*"
}

# find_package(TrellyBridge)
cmake -S "$source/examples" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/cmake" >/dev/null
expect_patient "$work/cmake/fetch_patient"
expect_patient "$work/cmake/fetch_patient_cpp"

# pkg-config --cflags --libs trellybridge
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name trellybridge.pc)")
read -r -a flags <<<"$(pkg-config --cflags --libs trellybridge)"
cc -Wall -Werror "$source/examples/c/fetch_patient.c" "${flags[@]}" -o "$work/pc_fetch_patient"
c++ -std=c++20 -Wall -Werror "$source/examples/cpp/fetch_patient.cpp" "${flags[@]}" \
  -o "$work/pc_fetch_patient_cpp"
libdir=$(pkg-config --variable=libdir trellybridge)
LD_LIBRARY_PATH=$libdir expect_patient "$work/pc_fetch_patient"
LD_LIBRARY_PATH=$libdir expect_patient "$work/pc_fetch_patient_cpp"

# The Python binding, installed offline (no package index) into a plain virtual
# environment, finding the installed library as TRELLYBRIDGE_LIBRARY names it.
python3 -m venv "$work/venv"
"$work/venv/bin/pip" install --quiet --no-index --disable-pip-version-check "$source/python"
TRELLYBRIDGE_LIBRARY=$(realpath "$libdir/libtrellybridge.so") \
  expect_patient "$work/venv/bin/python" "$source/examples/python/fetch_patient.py"
echo "the installed library serves C, C++ and Python hosts through CMake and pkg-config"
