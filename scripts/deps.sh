#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (as root, once), with
# their recommended packages: Wine draws its windows with them (fonts, X rendering).
#
#   scripts/deps.sh PACKAGE... [--optional PACKAGE...]
#
# Nothing is done for packages already installed. A needed package that cannot be installed ends
# the run with one line naming it and apt's reason; an optional one (after --optional) is left
# out with such a line, and the run goes on. A package of another architecture is named as
# PACKAGE:ARCH (wine32:i386): its architecture is added to dpkg first, but only when this kernel
# runs programs of it, and removed again when this run added it and nothing of it got installed,
# so the package configuration is left as it was found.
#
# The package lists are read again first, three tries; a mirror in the middle of a sync fails
# some of them, and the run then goes on with the lists there are.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
say() { echo "deps.sh: $*"; }

needed=()
optional=()
list=needed
for p in "$@"; do
  if [ "$p" = --optional ]; then
    list=optional
  elif [ $list = needed ]; then
    needed+=("$p")
  else
    optional+=("$p")
  fi
done

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing_of() {  # the packages among the arguments that are not installed
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done
}
mapfile -t needed < <(missing_of "${needed[@]+"${needed[@]}"}")
mapfile -t optional < <(missing_of "${optional[@]+"${optional[@]}"}")
[ ${#needed[@]} -eq 0 ] && [ ${#optional[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
native=$(dpkg --print-architecture)
is_foreign() { ! dpkg --print-foreign-architectures | grep -qx "$1"; }

# apt's reason for a failed install, on one line: the first unmet dependency, else its error.
apt_reason() {
  local line
  line=$(grep -m1 -E ' : (Pre)?Depends:| : Conflicts:| : Breaks:' <<<"$1")
  [ -n "$line" ] || line=$(grep -E '^E: ' <<<"$1" | head -n 1)
  [ -n "$line" ] || line=$(grep -v '^ *$' <<<"$1" | tail -n 1)
  line=${line#E: }
  echo "${line#"${line%%[! ]*}"}"
}

# Architectures to add: those of the packages named as PACKAGE:ARCH that dpkg does not know yet.
# One whose programs this kernel cannot run is not added; its packages are dropped (optional) or
# end the run (needed).
added=()
declare -A unusable=()
for p in "${needed[@]+"${needed[@]}"}" "${optional[@]+"${optional[@]}"}"; do
  case "$p" in *:*) ;; *) continue ;; esac
  arch=${p##*:}
  [ "$arch" != "$native" ] && is_foreign "$arch" || continue
  [ -z "${unusable[$arch]+x}" ] || continue
  case " ${added[*]-} " in *" $arch "*) continue ;; esac
  if [ "$arch" = i386 ] && ! why=$("$here/runs_i386.sh"); then
    unusable[$arch]=$why
    continue
  fi
  echo "== adding the architecture $arch"
  $SUDO dpkg --add-architecture "$arch" || { say "cannot add the architecture $arch"; exit 1; }
  added+=("$arch")
done
keep=()
for p in "${needed[@]+"${needed[@]}"}"; do
  arch=${p##*:}
  if [ "$p" != "$arch" ] && [ -n "${unusable[$arch]+x}" ]; then
    say "cannot install $p: ${unusable[$arch]}"
    exit 1
  fi
done
for p in "${optional[@]+"${optional[@]}"}"; do
  arch=${p##*:}
  if [ "$p" != "$arch" ] && [ -n "${unusable[$arch]+x}" ]; then
    say "optional $p left out: ${unusable[$arch]}"
  else
    keep+=("$p")
  fi
done
optional=("${keep[@]+"${keep[@]}"}")

if [ ${#needed[@]} -gt 0 ] || [ ${#optional[@]} -gt 0 ]; then
  echo "== installing: ${needed[*]-} ${optional[*]-}"
  for try in 1 2 3; do
    if out=$($SUDO apt-get update -qq 2>&1); then
      break
    fi
    if [ $try -eq 3 ]; then
      say "apt-get update failed 3 times ($(apt_reason "$out")); going on with the package lists there are"
    else
      sleep "${DEPS_UPDATE_PAUSE:-5}"
    fi
  done
fi

# Installs the packages given, or says why not (one line) and returns 1.
install() {
  local out
  out=$(DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$@" 2>&1) && return 0
  reason=$(apt_reason "$out")
  return 1
}

status=0
if [ ${#needed[@]} -gt 0 ] && ! install "${needed[@]}"; then
  # Which package: the first that apt cannot install on its own, else all of them.
  culprit="${needed[*]}"
  first_reason=$reason
  for p in "${needed[@]}"; do
    if ! out=$($SUDO apt-get install -s -qq "$p" 2>&1); then
      culprit=$p
      first_reason=$(apt_reason "$out")
      break
    fi
  done
  say "cannot install $culprit: $first_reason"
  status=1
fi
if [ $status -eq 0 ]; then
  for p in "${optional[@]+"${optional[@]}"}"; do
    install "$p" || say "optional $p left out: $reason"
  done
fi

# An architecture this run added and nothing was installed of goes again (dpkg refuses while a
# package of it is installed).
for arch in "${added[@]+"${added[@]}"}"; do
  if $SUDO dpkg --remove-architecture "$arch" 2>/dev/null; then
    say "nothing of $arch was installed: the architecture $arch is removed again"
  fi
done
exit $status
