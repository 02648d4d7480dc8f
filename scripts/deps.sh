#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (as root, once), with
# their recommended packages: Wine draws its windows with them (fonts, X rendering).
# Usage: scripts/deps.sh PACKAGE...   (nothing is done for packages already installed)
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "== installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
