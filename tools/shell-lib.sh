# shellcheck shell=bash
# Small helpers that the project's scripts share. Source it:
#   . "$root/tools/shell-lib.sh"

# Runs a command as root: with sudo when not run as root.
as_root() {
    if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi
}

# Lets apt install packages of the architecture named (i386 beside amd64);
# does nothing when it already may or is the machine's own.
add_package_architecture() {
    [ "$(dpkg --print-architecture)" = "$1" ] && return 0
    dpkg --print-foreign-architectures | grep -qx "$1" && return 0
    echo "Adding the package architecture $1"
    as_root dpkg --add-architecture "$1"
}

# Installs those of the Debian packages named (name or name:architecture)
# that are not installed yet, with sudo when not run as root; does nothing
# when all are present. It never removes a package: when one would have to
# go, the install fails instead.
install_missing_packages() {
    local missing=() p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # Another install may hold the package lock (two scripts at once): wait
    # for it rather than fail.
    local lock=(-o DPkg::Lock::Timeout=900)
    as_root apt-get "${lock[@]}" update -qq
    as_root apt-get "${lock[@]}" install -y -qq --no-install-recommends --no-remove "${missing[@]}"
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

# Copies the source tree $1 into the existing folder $2: the files git tracks or
# does not ignore, where $1 is a git checkout of its own; else the whole tree less
# its build folders.
copy_source_tree() {
    if git -C "$1" rev-parse --show-toplevel 2>/dev/null | grep -qxF "$(cd "$1" && pwd -P)"; then
        (cd "$1" && git ls-files -z --cached --others --exclude-standard |
            while IFS= read -r -d '' file; do
                # A tracked file deleted in the work tree is not part of it.
                if [ -e "$file" ] || [ -L "$file" ]; then printf '%s\0' "$file"; fi
            done | tar --null --no-recursion -T - -cf -) | tar -xf - -C "$2"
    else
        (cd "$1" && tar --exclude=./build --exclude='./build-*' --exclude='./obj-*' \
            --exclude=./debian/.debhelper --exclude=./debian/tavro-shopping-list -cf - .) |
            tar -xf - -C "$2"
    fi
}
