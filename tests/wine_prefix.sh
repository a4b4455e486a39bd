#!/bin/sh
# Makes (start) or removes (stop) the Wine prefix that the tests of the
# Windows build share. "start" also keeps a wineserver running until "stop",
# so that each of the many short runs of tafelix.exe takes a fraction of a
# second instead of a Wine start-up of its own.
#
#   wine_prefix.sh start|stop PREFIX
set -eu
export WINEPREFIX="$2" WINEDEBUG=-all
log="$WINEPREFIX.log"

# Ends the prefix's Wine processes and removes the prefix, and the folder
# that Wine made for its server's socket in the temporary folder, whose name
# the prefix keeps.
remove_prefix()
{
    server_dir=""
    if [ -f "$WINEPREFIX/wineserver" ]; then
        server_dir="${TMPDIR:-/tmp}/$(cat "$WINEPREFIX/wineserver")"
    fi
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX" "$log"
    case "$server_dir" in
    */wine-*) rm -rf "$server_dir" ;;
    esac
}

case "$1" in
start)
    if [ -d "$WINEPREFIX" ]; then
        remove_prefix
    fi
    mkdir -p "$WINEPREFIX"
    # Wine's background processes inherit the standard streams; left open,
    # they would keep the test runner waiting for this step to end.
    wineserver -p </dev/null >"$log" 2>&1
    # No Mono or Gecko: nothing here needs them, and their installers ask.
    if ! WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY='' wineboot -i </dev/null >>"$log" 2>&1; then
        cat "$log"
        exit 1
    fi
    echo "Wine prefix ready: $WINEPREFIX"
    ;;
stop)
    remove_prefix
    ;;
*)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
