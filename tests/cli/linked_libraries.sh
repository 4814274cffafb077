#!/usr/bin/env bash
# Fails when the command names a library it should load only on demand.
#   linked_libraries.sh COMMAND
set -euo pipefail
needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
heavy=$(grep -E '^lib(Qt|ssl|crypto|curl|cpp-httplib|icu|gnutls)' <<<"$needed" || true)
if [ -n "$heavy" ]; then
  echo "$1 links libraries it should load only when asked for:"
  echo "$heavy"
  exit 1
fi
echo "$1 links only: $(tr '\n' ' ' <<<"$needed")"
