#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing.
# When all are present it does nothing and never calls apt-get. As root it
# runs apt-get itself, otherwise through sudo; with neither it names the
# packages to install and fails.
# Usage: bash scripts/lib/install-packages.sh PACKAGE...
set -euo pipefail

missing=()
for p in "$@"; do
    [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

if [[ $(id -u) -eq 0 ]]; then
    as_root=()
elif command -v sudo >/dev/null; then
    # env behind sudo, so that DEBIAN_FRONTEND survives sudo's clean environment
    as_root=(sudo)
else
    echo "Missing Debian packages and neither root nor sudo here; as root run: apt-get install ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
