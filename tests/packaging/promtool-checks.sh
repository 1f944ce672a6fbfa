#!/usr/bin/env bash
# The Prometheus alert rules shipped with the package, through their own tests, and the metrics
# they read as orvanta-ctl writes them on the demo machine, checked by promtool (Debian's
# prometheus package). Exit code 77, a skip, where promtool is not to be had.
# usage: promtool-checks.sh RULES_FOLDER ORVANTA_SIM ORVANTA_CTL
set -euo pipefail
# scripts/install-deps keeps one in the cache where the package is not installed.
PATH=$PATH:${XDG_CACHE_HOME:-$HOME/.cache}/orvanta/promtool
command -v promtool >/dev/null || { echo "promtool is not installed: skipped"; exit 77; }
rules=$1 sim=$2 ctl=$3
machine=$(mktemp -d)
trap 'rm -rf "$machine"' EXIT
(cd "$rules" && promtool check rules orvanta-alerts.yml && promtool test rules orvanta-alerts.test.yml)
"$sim" --root "$machine" demo >/dev/null
ORVANTA_SIM_ROOT=$machine "$ctl" status --metrics --output "$machine/orvanta.prom"
promtool check metrics <"$machine/orvanta.prom"
