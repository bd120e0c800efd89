#!/usr/bin/env bash
# apt-install.sh against a stand-in apt: what it asks apt to do, what it prints and how it exits,
# for installs that apt plans cleanly, that would remove a package, and that apt cannot plan.
set -euo pipefail
script="$(cd "$(dirname "$0")/.." && pwd)/apt-install.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# Installed packages are the lines of $work/installed (NAME:hold held at its version, NAME:removed
# removed with its configuration kept); a package's plan is $work/plan-NAME, its
# lines as apt-get -s prints them (a missing file plans "Inst NAME"). Every apt-get call is logged.
cat >"$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
if grep -qx "${!#}" "$FAKE/installed"; then echo "install ok installed"
elif grep -qx "${!#}:hold" "$FAKE/installed"; then echo "hold ok installed"
elif grep -qx "${!#}:removed" "$FAKE/installed"; then echo "deinstall ok config-files"
else exit 1
fi
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE/log"
simulate=0 packages=()
for a in "$@"; do
  case "$a" in -s) simulate=1 ;; -*|install|update|Dpkg::*) ;; *) packages+=("$a") ;; esac
done
((simulate)) || exit 0
status=0
for p in "${packages[@]}"; do
  if [[ -f "$FAKE/plan-$p" ]]; then cat "$FAKE/plan-$p"; grep -q '^E: ' "$FAKE/plan-$p" && status=100; else echo "Inst $p (1.0 Debian:12)"; fi
done
exit $status
STUB
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin/"*
export FAKE=$work PATH="$work/bin:$PATH"

failures=0
# check NAME INSTALLED PLANS EXPECTED-EXIT EXPECTED-STDERR-REGEX EXPECTED-INSTALL-CALL ARGS...
# PLANS: NAME=LINES entries separated by ";", lines by "\n"; an empty regex wants no error line.
check() {
  local name=$1 installed=$2 plans=$3 want_exit=$4 want_err=$5 want_install=$6
  shift 6
  rm -f "$work"/plan-* "$work/log"
  printf '%s\n' $installed >"$work/installed"
  local entry entries
  IFS=';' read -ra entries <<<"$plans"
  for entry in "${entries[@]}"; do printf '%b\n' "${entry#*=}" >"$work/plan-${entry%%=*}"; done
  local got_exit=0
  "$script" "$@" >"$work/out" 2>"$work/err" || got_exit=$?
  local install
  install=$(grep -v -- ' -s ' "$work/log" 2>/dev/null | grep ' install ' || true)
  local problems=()
  [[ $got_exit == "$want_exit" ]] || problems+=("exit $got_exit, not $want_exit")
  [[ $(wc -l <"$work/err") -le 1 ]] || problems+=("more than one line on standard error")
  if [[ -z "$want_err" ]]; then
    [[ ! -s "$work/err" ]] || problems+=("standard error: $(cat "$work/err")")
  else
    grep -Eq -- "$want_err" "$work/err" || problems+=("standard error does not match /$want_err/: $(cat "$work/err")")
  fi
  if [[ -z "$want_install" ]]; then
    [[ -z "$install" ]] || problems+=("installed: $install")
  else
    [[ "$install" == *"$want_install"* && "$install" == *--no-remove* ]] || problems+=("install call '$install', wanted '$want_install' with --no-remove")
  fi
  if ((${#problems[@]})); then
    printf 'FAIL %s: %s\n' "$name" "${problems[*]}"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

check "nothing missing asks apt nothing" "a b" "" 0 "" "" a b
[[ ! -s "$work/log" ]] || { echo "FAIL nothing missing: apt-get was called"; failures=$((failures + 1)); }
check "a held package counts as installed, a removed one as missing" "a:hold c:removed" "" 0 "" \
  "install -y --no-install-recommends --no-remove c" a c
check "only held ones asks apt nothing" "a:hold b:hold" "" 0 "" "" a b
[[ ! -s "$work/log" ]] || { echo "FAIL only held ones: apt-get was called"; failures=$((failures + 1)); }
check "a clean plan installs the missing ones only" "a" "" 0 "" "install -y --no-install-recommends --no-remove b c" a b c
check "a plan that removes names the removed and the asker, installs nothing" "x node" \
  "c=Inst c\nRemv node [20.1]\nInst c-doc" 1 \
  '^apt-install.sh: installed nothing: installing c would remove node \(20\.1\);' "" b c
check "several removals are all named" "" "a=Remv p [1]\nRemv q [2]\nInst a;b=Inst b" 1 'installing a would remove p \(1\), q \(2\);' "" a b
check "a plan apt cannot make is named with apt's reason" "" \
  "d=E: Unable to correct problems, you have held broken packages." 1 \
  '^apt-install.sh: installed nothing: apt cannot install d \(Unable to correct problems, you have held broken packages\.\)' "" b d

((failures == 0)) || { echo "$failures case(s) failed"; exit 1; }
