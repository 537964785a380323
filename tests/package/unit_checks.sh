#!/usr/bin/env bash
# The service unit passes systemd's own checks, which need no running systemd:
# verify, and an exposure below 5.0 in the sandbox assessment. Its system-call
# filter lets the service start, talk to and end its identity-card helper.
# Usage: unit_checks.sh UNIT-FILE PROGRAM (the program's path goes into ExecStart)
set -euo pipefail
unit=$1
program=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sed "s|^ExecStart=.*|ExecStart=$program|" "$unit" >"$work/DuvaneS.service"
systemd-analyze verify --man=no "$work/DuvaneS.service"
# The threshold is ten times the exposure figure.
systemd-analyze security --offline=true --threshold=49 "$work/DuvaneS.service" >"$work/security.txt" || {
  tail -n 1 "$work/security.txt"
  echo "the unit's exposure is 5.0 or more" >&2
  exit 1
}
tail -n 1 "$work/security.txt"

# The filter's groups, expanded: what the unit allows, and what it denies.
expand() {
  systemd-analyze syscall-filter "$1" | sed '1d' | grep -v '^ *#' | tr -s ' ' '\n' | sed '/^$/d' |
    while read -r entry; do
      case $entry in
        @*) expand "$entry" ;;
        *) echo "$entry" ;;
      esac
    done
}
: >"$work/allowed"
: >"$work/denied"
while IFS= read -r value; do
  case $value in
    "~"*) for entry in ${value#"~"}; do expand "$entry"; done >>"$work/denied" ;;
    *) for entry in $value; do expand "$entry"; done >>"$work/allowed" ;;
  esac
done < <(sed -n 's/^SystemCallFilter=//p' "$unit")
for call in socketpair clone clone3 execve close_range dup2 prctl poll sendto shutdown kill wait4; do
  if ! grep -qx "$call" "$work/allowed" || grep -qx "$call" "$work/denied"; then
    echo "the unit's system-call filter refuses $call, which the identity-card helper needs" >&2
    exit 1
  fi
done
