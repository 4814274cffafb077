#!/usr/bin/env bash
# The service's systemd unit passes systemd-analyze verify without a message, and the
# command line it starts, pointed at a scratch configuration, is one trellybridge serve
# accepts and can serve with (serve --check).
#   service_unit.sh UNIT COMMAND MAN_PAGE      (exit 77: skipped)
set -euo pipefail
unit=$(realpath "$1") cli=$(realpath "$2") man_page=$(realpath "$3")
if ! command -v systemd-analyze >/dev/null; then
  echo "skipped: systemd-analyze is not installed (scripts/setup installs systemd)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/trellybridge-unit-XXXXXX")
trap 'rm -rf "$work"' EXIT
etc=$work/etc
mkdir -p "$etc" "$work/man/man1"
cp "$man_page" "$work/man/man1/trellybridge.1"

# The unit as installed, but for where the command and its configuration are.
sed -e "s#/usr/bin/trellybridge#$cli#g" -e "s#/etc/trellybridge#$etc#g" "$unit" \
  >"$work/trellybridge-server.service"
messages=$(MANPATH=$work/man systemd-analyze verify "$work/trellybridge-server.service" 2>&1) ||
  { echo "$messages"; echo "systemd-analyze verify failed"; exit 1; }
[ -z "$messages" ] || { echo "$messages"; echo "systemd-analyze verify has messages"; exit 1; }

# The files the unit names, as the README tells an administrator to write them.
printf 'NetworkBridgeType=TCPIP\nTCPRemoteHostName=127.0.0.1\nVendorFormatType=HL7\n' \
  >"$etc/site.conf"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
  -subj /CN=localhost -keyout "$etc/server.key" -out "$etc/server.crt" 2>/dev/null
printf 'orders %s\n' "$(head -c 24 /dev/urandom | od -An -tx1 | tr -d ' \n')" >"$etc/tokens"
chmod 600 "$etc/server.key" "$etc/tokens"
read -r -a start < <(sed -n 's/^ExecStart=//p' "$work/trellybridge-server.service")
for i in "${!start[@]}"; do
  [ "${start[$i]}" = '$SERVE_OPTIONS' ] && start[i]=--check
done
[[ " ${start[*]} " == *" --check "* ]] || { echo "ExecStart takes no \$SERVE_OPTIONS"; exit 1; }
"${start[@]}"
