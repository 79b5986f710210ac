#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing.
# When all are present it does nothing and never calls apt-get. As root it
# runs apt-get itself, otherwise through sudo; with neither it says in one
# line what to install and how, and fails. While another installation holds
# the package manager's locks it waits (lib/apt.sh) instead of failing.
# Usage: bash scripts/lib/install-packages.sh PACKAGE...
set -euo pipefail
source "$(dirname "$0")/apt.sh"

missing=()
for p in "$@"; do
    [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

apt_as_root "Missing Debian packages: ${missing[*]}; not root and no sudo here, so install them as root (su -c 'apt-get install ${missing[*]}') or run this script as root."
echo "Installing: ${missing[*]}"
apt update -qq
apt install -y -qq --no-install-recommends "${missing[@]}"
