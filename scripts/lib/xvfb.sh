# shellcheck shell=bash
# Sourced by the scripts that need a private X server (demo, test).
#
#   start_xvfb [WIDTHxHEIGHTxDEPTH]   starts Xvfb on a display number that it picks itself
#                                     (-displayfd), exports DISPLAY, sets XVFB_PID; exits the
#                                     script with a clear message when the server does not come up
#   stop_xvfb                         ends it again (nothing when none was started)

XVFB_PID=""
xvfb_dir=""

start_xvfb() {
    local screen=${1:-1600x1200x24}
    command -v Xvfb >/dev/null || { echo "xvfb: Xvfb is missing (Debian package xvfb)" >&2; exit 1; }
    xvfb_dir=$(mktemp -d /tmp/telvane-xvfb.XXXXXX)
    # Xvfb writes the display number and a newline to fd 3 once it accepts connections.
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$xvfb_dir/display" \
        >"$xvfb_dir/log" 2>&1 &
    XVFB_PID=$!
    local number=""
    for _ in $(seq 100); do
        if [ -s "$xvfb_dir/display" ]; then
            number=$(head -n 1 "$xvfb_dir/display")
            [[ $number =~ ^[0-9]+$ ]] && break
            number=""
        fi
        if ! kill -0 "$XVFB_PID" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    if [ -z "$number" ]; then
        echo "xvfb: the X server did not start (the end of its log follows)" >&2
        tail -n 15 "$xvfb_dir/log" >&2
        stop_xvfb
        exit 1
    fi
    export DISPLAY=":$number"
}

stop_xvfb() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
    if [ -n "$xvfb_dir" ]; then
        rm -rf "$xvfb_dir"
        xvfb_dir=""
    fi
}
