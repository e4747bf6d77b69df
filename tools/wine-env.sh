# shellcheck shell=bash
# Shared Wine set-up for running the Windows build on Linux. Source it, then call
# wine_env_setup (exports the variables below), wine_prefix_ready (creates the prefix
# quietly on first use) and wine_server_ready (starts Wine's background processes
# detached from the caller's output); then run "$WINE64_LOADER" program.exe ...
# "$WINESERVER_BIN" -w waits for the prefix's processes to end, -k kills them.
#
#   WINE64_LOADER    the 64-bit loader (Debian's `wine` wrapper would try the 32-bit one
#                    first, which this kernel may not run); WINELOADER overrides it
#   WINESERVER_BIN   the matching wineserver (for `-w` to wait, `-k` to kill)
#   WINEPREFIX       default ${HOME}/.cache/tavro-wine
#   WINEDEBUG        default -all (no fixme/err lines on stderr)
#   WINEDLLOVERRIDES default "mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d":
#                    never offer to install Mono or Gecko; let a crash end the program
#                    with a non-zero exit code (with winedbg the crash dump goes to
#                    stdout and the exit code is 0); and write no Linux menu entries
#                    for shortcuts that an installer creates
#
# Everything else of the caller's environment reaches the Windows program unchanged.
#
# The first Wine process of a prefix starts the wineserver and Wine's system processes
# (services.exe, explorer.exe, ...), and they keep that process's stderr open until the
# server ends, 3 s after the last program; with a pipe as stderr (ctest, `2>&1 |`, a
# test's subprocess capture) the reader waits that long, or for the whole test run.
# wine_server_ready starts them first with /dev/null as their output.

wine_env_setup() {
    local loader=""
    if [ -n "${WINELOADER:-}" ] && [ -x "$WINELOADER" ]; then
        loader=$WINELOADER
    else
        for candidate in /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 \
                         "$(command -v wine64 2>/dev/null)"; do
            if [ -n "$candidate" ] && [ -x "$candidate" ]; then
                loader=$candidate
                break
            fi
        done
    fi
    if [ -z "$loader" ]; then
        echo "wine-env: no 64-bit Wine loader found (Debian: apt-get install wine64)" >&2
        return 127
    fi
    local server
    server="$(dirname "$loader")/wineserver"
    [ -x "$server" ] || server="$(dirname "$loader")/wineserver64"
    [ -x "$server" ] || server=$(command -v wineserver 2>/dev/null || true)

    export WINE64_LOADER=$loader
    export WINESERVER_BIN=$server
    # Wine starts further Windows processes (and wineboot) through WINELOADER.
    export WINELOADER=$loader
    local home=${HOME:-/tmp}
    export WINEPREFIX=${WINEPREFIX:-$home/.cache/tavro-wine}
    case $WINEPREFIX in
        /*) ;;
        *) WINEPREFIX=$PWD/$WINEPREFIX ;;
    esac
    export WINEDEBUG=${WINEDEBUG--all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES-mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d}
}

# Creates $WINEPREFIX the first time, with its messages kept off the caller's
# terminal. Several callers may start at once: the lock lets one of them build
# the prefix while the others wait for it.
wine_prefix_ready() {
    [ -f "$WINEPREFIX/.tavro-ready" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")" || return 1
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.tavro-ready" ]; then
            if ! "$WINE64_LOADER" wineboot -i >"$WINEPREFIX.boot.log" 2>&1; then
                echo "wine-env: could not create the Wine prefix $WINEPREFIX; see $WINEPREFIX.boot.log" >&2
                exit 1
            fi
            touch "$WINEPREFIX/.tavro-ready"
            rm -f "$WINEPREFIX.boot.log"
        fi
    ) 9>"$WINEPREFIX.lock"
}

# True when the wineserver of $WINEPREFIX is up (its socket exists). Upstream Wine keeps
# the socket in /tmp/.wine-UID/server-DEV-INODE, Debian's in /tmp/<name kept in
# $WINEPREFIX/wineserver>/server-DEV-INODE.
wine_server_running() {
    local dev ino name tag=""
    dev=$(stat -c %d "$WINEPREFIX" 2>/dev/null) || return 1
    ino=$(stat -c %i "$WINEPREFIX") || return 1
    name=$(printf 'server-%x-%x' "$dev" "$ino")
    [ -r "$WINEPREFIX/wineserver" ] && tag=$(head -c 64 "$WINEPREFIX/wineserver" 2>/dev/null)
    [ -S "/tmp/.wine-$(id -u)/$name/socket" ] && return 0
    [ -n "$tag" ] && [ -S "/tmp/$tag/$name/socket" ] && return 0
    return 1
}

# Starts the wineserver and Wine's system processes detached from the caller's output.
# With a DISPLAY, rundll32 (a window program doing nothing) also starts the desktop
# process (explorer.exe), which binds the session to that display: a desktop started
# without one makes every later window fail (ERROR_INVALID_WINDOW_HANDLE) until the
# wineserver ends. Console programs never start the desktop.
wine_server_ready() {
    wine_server_running && return 0
    if [ -n "${DISPLAY:-}" ]; then
        "$WINE64_LOADER" rundll32.exe </dev/null >/dev/null 2>&1
    else
        "$WINE64_LOADER" cmd.exe /c exit </dev/null >/dev/null 2>&1
    fi
    return 0
}
