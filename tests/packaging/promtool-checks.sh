#!/usr/bin/env bash
# The Prometheus alert rules shipped with the package, through their own tests, and the metrics
# they read as orvanta-ctl writes them on the demo machine, checked by promtool (Debian's
# prometheus package). Exit code 77, a skip, where promtool is not installed.
# usage: promtool-checks.sh RULES_FOLDER ORVANTA_SIM ORVANTA_CTL
set -euo pipefail
command -v promtool >/dev/null || { echo "promtool is not installed: skipped"; exit 77; }
rules=$1 sim=$2 ctl=$3
machine=$(mktemp -d)
trap 'rm -rf "$machine"' EXIT
(cd "$rules" && promtool check rules orvanta-alerts.yml && promtool test rules orvanta-alerts.test.yml)
"$sim" --root "$machine" demo >/dev/null
ORVANTA_SIM_ROOT=$machine "$ctl" status --metrics --output "$machine/orvanta.prom"
promtool check metrics <"$machine/orvanta.prom"
