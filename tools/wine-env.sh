# shellcheck shell=bash
# Shared Wine set-up for running the Windows build on Linux. Source it, then call
# wine_env_setup (exports the variables below), wine_prefix_ready (creates the prefix
# quietly on first use) and wine_server_ready (starts Wine's background processes
# detached from the caller's output); then run "$WINE64_LOADER" program.exe ...
# "$WINESERVER_BIN" -w waits for the prefix's processes to end, -k kills them.
#
#   WINE64_LOADER    the 64-bit loader (Debian's `wine` wrapper would try the 32-bit one
#                    first, which this kernel may not run); WINELOADER overrides it. It
#                    runs 32-bit programs too, through Wine's 32-bit side (Debian's
#                    wine32:i386), where the kernel runs 32-bit programs (wine32_probe)
#   WINE32_LOADER    that 32-bit side's loader beside it; empty when it is not installed
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
    WINE32_LOADER="$(dirname "$loader")/wine"
    [ -x "$WINE32_LOADER" ] || WINE32_LOADER=""
    export WINE32_LOADER
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

# True when $WINEPREFIX was made by wine_prefix_ready, and with Wine's 32-bit side
# where Wine has one now. A prefix made before wine32 was installed has an empty
# syswow64, where every 32-bit program fails ("could not load kernel32.dll"), and
# `wineboot -u` does not fill it. The mark says which sides the prefix was made with.
wine_prefix_complete() {
    local made=""
    [ -f "$WINEPREFIX/.tavro-ready" ] || return 1
    [ -n "$WINE32_LOADER" ] || return 0
    read -r made <"$WINEPREFIX/.tavro-ready" || true
    [ "$made" = "64-bit and 32-bit" ] || [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]
}

# Creates $WINEPREFIX the first time, with its messages kept off the caller's
# terminal; a prefix without the 32-bit side that Wine now has is set aside and
# made anew. Several callers may start at once: the lock lets one of them build
# the prefix while the others wait for it.
wine_prefix_ready() {
    wine_prefix_complete && return 0
    mkdir -p "$(dirname "$WINEPREFIX")" || return 1
    (
        flock 9
        if [ -f "$WINEPREFIX/.tavro-ready" ] && ! wine_prefix_complete; then
            local aside
            aside="$WINEPREFIX.without-32-bit.$(date +%Y%m%d-%H%M%S)"
            echo "wine-env: the Wine prefix $WINEPREFIX has no 32-bit side (it was made before" \
                 "wine32); it is moved to $aside and made anew" >&2
            "$WINESERVER_BIN" -k 2>/dev/null
            mv "$WINEPREFIX" "$aside" || exit 1
        fi
        if [ ! -f "$WINEPREFIX/.tavro-ready" ]; then
            if ! "$WINE64_LOADER" wineboot -i >"$WINEPREFIX.boot.log" 2>&1; then
                echo "wine-env: could not create the Wine prefix $WINEPREFIX; see $WINEPREFIX.boot.log" >&2
                exit 1
            fi
            if [ -n "$WINE32_LOADER" ]; then
                echo "64-bit and 32-bit" >"$WINEPREFIX/.tavro-ready"
            else
                echo "64-bit" >"$WINEPREFIX/.tavro-ready"
            fi
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

# Whether this machine runs 32-bit Windows programs under Wine as they are, never
# emulated: Wine's 32-bit side is installed, the kernel runs its loader (a 32-bit
# Linux program; a kernel without IA32 emulation does not), and no binfmt_misc
# entry hands 32-bit programs to an emulator (qemu-i386). Says which in one line.
# Returns 0 when it does, 1 when this machine cannot (the 32-bit tests are skipped
# here), 2 when Wine's 32-bit side is missing or broken (an install fault).
wine32_probe() {
    if [ -z "$WINE32_LOADER" ]; then
        echo "Wine's 32-bit side is not installed (Debian: wine32:i386; tools/build-windows.sh installs it)"
        return 2
    fi
    local entry magic
    if [ "$(cat /proc/sys/fs/binfmt_misc/status 2>/dev/null)" != disabled ]; then
        for entry in /proc/sys/fs/binfmt_misc/*; do
            case ${entry##*/} in register | status) continue ;; esac
            [ "$(head -n 1 "$entry" 2>/dev/null)" = enabled ] || continue
            # 32-bit little-endian ELF (7f 45 4c 46 01 01) for the i386 (03 00 at byte 18)
            magic=$(sed -n 's/^magic //p' "$entry")
            if [[ $magic == 7f454c460101* && ${magic:36:4} == 0300 ]]; then
                echo "32-bit programs would run emulated here (binfmt_misc ${entry##*/}:" \
                     "$(sed -n 's/^interpreter //p' "$entry")), which the 32-bit tests do not use"
                return 1
            fi
        done
    fi
    local said status=0
    said=$("$WINE32_LOADER" --version 2>&1) || status=$?
    said=${said%%$'\n'*}
    if [ "$status" = 126 ] && [[ $said == *"Exec format error"* ]]; then
        echo "this kernel runs no 32-bit programs (Linux without IA32 emulation):" \
             "the 32-bit Windows build cannot run here"
        return 1
    fi
    if [ "$status" != 0 ]; then
        echo "Wine's 32-bit loader $WINE32_LOADER does not start (exit code $status): $said"
        return 2
    fi
    echo "32-bit Windows programs run here: $said, 32-bit side $WINE32_LOADER, not emulated"
}
