#!/usr/bin/env bash
# The layer check fails on each fault planted in a copy of the tree: an upward include in
# angle brackets, an indented upward include, a system header outside the platform layer,
# and a system header in a program that is not on the programs' list.
#   planted_faults.sh SOURCE_DIR
set -euo pipefail
source=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/trellybridge-layers-XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$source/bridge" "$source/apps" "$work/"

bash "$source/scripts/check-layers" "$work" >/dev/null || {
  echo "the unchanged copy should pass"; exit 1; }

target=bridge/formats/XmlParser.cpp
faults=(
  "$target|#include <session/ProgressWindow.h>|includes session/ProgressWindow.h: an include that points upwards"
  "$target|#  include \"session/ProgressWindow.h\"|includes session/ProgressWindow.h: an include that points upwards"
  "$target|#include <pwd.h>|includes <pwd.h>"
  "apps/cli/ParseCommand.cpp|#include <sys/socket.h>|includes <sys/socket.h>"
)
status=0
for fault in "${faults[@]}"; do
  IFS='|' read -r file line expected <<<"$fault"
  cp "$work/$file" "$work/$file.orig"
  printf '%s\n' "$line" >>"$work/$file"
  if output=$(bash "$source/scripts/check-layers" "$work" 2>&1); then
    echo "not caught: '$line' in $file"; status=1
  elif ! grep -qF "$expected" <<<"$output"; then
    echo "caught '$line' in $file, but without saying \"$expected\": $output"; status=1
  else
    echo "caught: '$line' in $file"
  fi
  mv "$work/$file.orig" "$work/$file"
done
exit $status
