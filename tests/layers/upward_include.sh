#!/usr/bin/env bash
# Each layer's library is compiled seeing only its own headers and those of the layers
# below it: with the compile command the build uses for one of its files, an include of
# its own or a lower layer compiles, an include of a higher or a sibling layer does not.
#   upward_include.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/trellybridge-upward-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The compile command of the first file of a layer, as an argument list (one per line).
command_of_layer() {
  python3 - "$build/compile_commands.json" "$1" <<'PY'
import json, shlex, sys
for entry in json.load(open(sys.argv[1])):
    if f"/bridge/{sys.argv[2]}/" in entry["file"] and "_objects.dir" in entry.get("output", entry["command"]):
        words = shlex.split(entry["command"])
        # Keep the compiler and its flags; the file and its outputs are ours.
        skip = False
        for word in words:
            if skip: skip = False; continue
            if word in ("-o", "-c", "-MF", "-MT"): skip = True; continue
            if word == "ccache" or word.endswith(".cpp") or word == "-MD": continue
            print(word)
        break
PY
}

status=0
cases=(
  "formats|common/Text.h|compiles"
  "formats|formats/Codecs.h|compiles"
  "formats|session/ProgressWindow.h|fails"
  "formats|tcp/TcpConnection.h|fails"
  "tcp|settings/Settings.h|fails"
  "common|formats/Codecs.h|fails"
  "session|component/Configuration.h|fails"
  "session|tcp/TcpConnection.h|compiles"
)
for case in "${cases[@]}"; do
  IFS='|' read -r layer header expected <<<"$case"
  mapfile -t compile < <(command_of_layer "$layer")
  [ ${#compile[@]} -gt 0 ] || { echo "no compile command for the $layer layer"; exit 1; }
  printf '#include "%s"\n' "$header" >"$work/probe.cpp"
  # Failing for any other reason than the header being out of sight proves nothing.
  if "${compile[@]}" -fsyntax-only "$work/probe.cpp" >"$work/out" 2>&1; then
    got=compiles
  elif grep -q "$header: No such file" "$work/out"; then
    got=fails
  else
    got="fails otherwise"
  fi
  if [ "$got" != "$expected" ]; then
    echo "the $layer layer including $header $got, expected it $expected:"; cat "$work/out"; status=1
  else
    echo "the $layer layer including $header: $got"
  fi
done
exit $status
