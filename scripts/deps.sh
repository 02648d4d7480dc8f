#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (as root, once), with
# their recommended packages: Wine draws its windows with them (fonts, X rendering).
# Usage: scripts/deps.sh PACKAGE...   (nothing is done for packages already installed)
# A package of another architecture is named as PACKAGE:ARCH (wine32:i386); its architecture is
# added to dpkg first, which needs the package lists read again.
set -euo pipefail
missing=()
foreign=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && continue
  missing+=("$p")
  case "$p" in
  *:*)
    arch=${p##*:}
    if [ "$arch" != "$(dpkg --print-architecture)" ] &&
      ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
      foreign+=("$arch")
    fi
    ;;
  esac
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "== installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
for arch in $(printf '%s\n' "${foreign[@]+"${foreign[@]}"}" | sort -u); do
  echo "== adding the architecture $arch"
  $SUDO dpkg --add-architecture "$arch"
done
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
