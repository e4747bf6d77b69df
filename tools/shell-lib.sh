# shellcheck shell=bash
# Small helpers that the project's scripts share. Source it:
#   . "$root/tools/shell-lib.sh"

# Installs those of the Debian packages named that are not installed yet, with
# sudo when not run as root; does nothing when all are present.
install_missing_packages() {
    local missing=() p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    local sudo_cmd=""
    if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # Another install may hold the package lock (two scripts at once): wait
    # for it rather than fail.
    local lock=(-o DPkg::Lock::Timeout=900)
    $sudo_cmd apt-get "${lock[@]}" update -qq
    $sudo_cmd apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
}

# Waits up to $1 seconds for the command after it to succeed, trying every 50 ms;
# says what it gave up on and fails when the time is out.
wait_for() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $deadline ] || { echo "gave up waiting for: $*" >&2; return 1; }
        sleep 0.05
    done
}
