# Sourced by the scripts that run apt-get: how to become root for it, and
# apt-get that waits for another installation (unattended-upgrades, a second
# script) instead of failing on the package manager's locks.

# Sets as_root to what runs a command as root: nothing as root, else sudo.
# With neither, prints "$1" (one line: what to install, and how) and exits.
apt_as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        as_root=()
    elif command -v sudo >/dev/null; then
        as_root=(sudo)
    else
        echo "$1" >&2
        exit 1
    fi
}

apt_wait_seconds=${APT_WAIT_SECONDS:-600}

# apt-get "$@" as root, non-interactive. DPkg::Lock::Timeout makes apt-get
# wait for dpkg's lock; the package lists' and the download folder's locks it
# does not wait for, so a run that fails on one of those is repeated (quietly)
# until the other installation is done, for apt_wait_seconds at most.
apt() {
    local waited=0 status log
    log=$(mktemp)
    while :; do
        set +e
        # env behind sudo, so that DEBIAN_FRONTEND survives sudo's clean environment
        "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive LC_ALL=C \
            apt-get -o DPkg::Lock::Timeout="$apt_wait_seconds" "$@" 2>&1 \
            | tee "$log" | grep --line-buffered -v -e 'Could not get lock' -e 'Unable to lock'
        status=${PIPESTATUS[0]}
        set -e
        if ((status == 0)) || ! grep -q 'Could not get lock' "$log" || ((waited >= apt_wait_seconds)); then
            ((status == 0)) || grep 'Could not get lock' "$log" >&2 || true
            rm -f "$log"
            return "$status"
        fi
        ((waited == 0)) && echo "Waiting for another package installation to finish..."
        sleep 5
        waited=$((waited + 5))
    done
}
