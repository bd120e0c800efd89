#!/usr/bin/env bash
# Installs the given Debian packages that are missing, and never removes a package to do it.
# apt's plan is simulated first: when it would remove anything (an installed package that
# conflicts with one asked for, say a Node.js from outside Debian), nothing is installed and one
# line on standard error names what would be removed and what asked for it.
# Usage: apt-install.sh PACKAGE...   (as root, or through sudo)
set -euo pipefail
me=$(basename "$0")
if [[ "${1:-}" == "--help" || "${1:-}" == "-h" ]]; then
  echo "Usage: $me PACKAGE..."
  echo "Installs the Debian packages given that are missing, without recommends. Stops with one line,"
  echo "having installed nothing, when apt would have to remove an installed package to do it."
  exit 0
fi

# Installed is "install ok installed", or "hold ok installed" for a package held at its version
# (which an install would try to upgrade, and apt refuse).
missing=()
for p in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == *" ok installed" ]] || missing+=("$p")
done
((${#missing[@]})) || exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    echo "$me: ${missing[*]} missing, and installing needs root or sudo; install them and run again" >&2
    exit 1
  fi
  sudo=(sudo)
fi
apt=(env DEBIAN_FRONTEND=noninteractive apt-get -q -o Dpkg::Use-Pty=0)

# What apt would do for these packages: the names it would remove ("Remv NAME [VERSION]"), or
# its first error when it finds no plan at all. Prints nothing for a plan that only installs.
plan_problem() {
  local out
  if ! out=$(LC_ALL=C "${apt[@]}" install -s --no-install-recommends "$@" 2>&1); then
    grep -m1 '^E: ' <<<"$out" || echo "apt-get failed"
    return
  fi
  local removed
  removed=$(awk '$1 == "Remv" { v = $3; gsub(/^\[|\]$/, "", v); printf "%s%s (%s)", sep, $2, v; sep = ", " }' <<<"$out")
  [[ -z "$removed" ]] || echo "Remv $removed"
}

"${sudo[@]}" "${apt[@]}" update >/dev/null

problem=$(plan_problem "${missing[@]}")
if [[ -n "$problem" ]]; then
  # Name the packages that bring the problem on their own; when none does, it is their sum.
  askers=()
  for p in "${missing[@]}"; do
    [[ -z "$(plan_problem "$p")" ]] || askers+=("$p")
  done
  ((${#askers[@]})) || askers=("${missing[@]}")
  if [[ "$problem" == Remv* ]]; then
    echo "$me: installed nothing: installing ${askers[*]} would remove ${problem#Remv }; set-up never removes a package, so if you want ${askers[*]} in its place, install it yourself, then run again" >&2
  else
    echo "$me: installed nothing: apt cannot install ${askers[*]} (${problem#E: }); install ${askers[*]} yourself, then run again" >&2
  fi
  exit 1
fi

echo "Installing: ${missing[*]}"
# --no-remove holds even if the package lists changed since the simulation.
"${sudo[@]}" "${apt[@]}" install -y --no-install-recommends --no-remove "${missing[@]}"
