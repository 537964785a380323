#!/usr/bin/env bash
# The service unit passes systemd's own checks, which need no running systemd:
# verify, and an exposure below 5.0 in the sandbox assessment.
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
