# shellcheck shell=bash disable=SC2034 # live_shot and live_state are for the sourcing scripts
# Sourced by the scripts that drive the real program's window from outside (demo, e2e): where
# its widgets are, clicks on them, and what a screenshot shows. Needs $root (the checkout) and a
# built tree; the callers run from build/, where the program finds ./Language.
#
#   learn_geometry NAME...        where the window's members are (fills geometry[NAME])
#   find_window SECONDS PID       the program's main window id into $window, or fails
#   click NAME [REPEAT]           a click (a double-click with 2) in the middle of a member
#   shoot FILE                    a screenshot of the window
#   brightness FILE NAME          mean grey of a member in a screenshot, 0..1
#   green_share FILE NAME         share of a member's pixels in the labels' green (#008000)
#   wait_live SECONDS PID DIR     until both connection labels are green and the picture moves
#                                 (screenshots in DIR)

declare -A geometry
window=""

learn_geometry() {
    geometry=()
    local name x y width height
    while read -r name x y width height; do
        geometry[$name]="$x $y $width $height"
    done < <(./Telvane/tests/telvane_widget_geometry "$@")
    for name in "$@"; do
        [ -n "${geometry[$name]:-}" ] || return 1
    done
}

find_window() {
    local deadline=$((SECONDS + $1)) pid=$2
    window=""
    while [ -z "$window" ]; do
        kill -0 "$pid" 2>/dev/null || return 1
        [ $SECONDS -lt $deadline ] || return 1
        window=$(xdotool search --onlyvisible --name '^Varnel Pro$' 2>/dev/null | head -n 1) || true
        [ -n "$window" ] || sleep 0.2
    done
}

click() {
    local x y width height
    read -r x y width height <<<"${geometry[$1]}"
    xdotool mousemove --window "$window" $((x + width / 2)) $((y + height / 2)) \
        click --repeat "${2:-1}" --delay 60 1
}

shoot() {
    import -window "$window" "$1"
}

# "x y width height" of a member -> ImageMagick's crop geometry.
crop() {
    local x y width height
    read -r x y width height <<<"${geometry[$1]}"
    echo "${width}x${height}+${x}+${y}"
}

brightness() {
    convert "$1" -crop "$(crop "$2")" +repage -colorspace Gray -format '%[fx:mean]' info:
}

# Every other pixel goes black, the green ones white.
green_share() {
    convert "$1" -crop "$(crop "$2")" +repage -fuzz 15% -fill black +opaque '#008000' \
        -fill white -opaque '#008000' -colorspace Gray -format '%[fx:mean]' info:
}

# Live: both labels green, and the picture neither black nor standing still. Needs the members
# videoWidget, pcConnectStateLabel and decodeConnectStateLabel; leaves the last screenshot in
# $live_shot and what was seen in $live_state.
live_shot=""
live_state=""
wait_live() {
    local deadline=$((SECONDS + $1)) pid=$2 shots=$3 previous="" moved left right light
    live_shot=$shots/shot.png
    while :; do
        kill -0 "$pid" 2>/dev/null || return 1
        shoot "$live_shot"
        convert "$live_shot" -crop "$(crop videoWidget)" +repage "$shots/video.png"
        light=$(convert "$shots/video.png" -colorspace Gray -format '%[fx:mean]' info:)
        moved=0
        if [ -n "$previous" ]; then
            moved=$(compare -metric AE -fuzz 10% "$previous" "$shots/video.png" null: 2>&1 || true)
            moved=${moved%% *}
        fi
        right=$(green_share "$live_shot" pcConnectStateLabel)
        left=$(green_share "$live_shot" decodeConnectStateLabel)
        live_state="receiver label green $left, transmitter label green $right, brightness $light, moved $moved pixels"
        if awk -v l="$left" -v r="$right" -v b="$light" -v m="$moved" \
            'BEGIN { exit !(l > 0.03 && r > 0.03 && b > 0.05 && m > 100) }'; then
            return 0
        fi
        [ $SECONDS -lt $deadline ] || return 1
        cp "$shots/video.png" "$shots/previous.png"
        previous=$shots/previous.png
        sleep 0.3
    done
}
