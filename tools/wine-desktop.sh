# Driving Windows programs on a Wine desktop from outside, sourced by the demo and the
# end-to-end tests: watching windows with window-probe, pressing keys with xdotool, and
# photographing a window with ImageMagick's import.
#
# Expects: root (the project), winbuild (the Windows build tree), WINEPREFIX / LUMIVO_WINEPREFIX,
# LUMIVO_WINE_DESKTOP (the desktop's name) and a fail function.

probe() { "$root/tools/wine-run" "$winbuild/tests/window-probe.exe" "$@"; }

# Every visible window of the Wine desktop.
windows() { probe list; }

# Waits for a window of the class (whose title or message holds the text); prints what the probe
# saw, rectangle included. Its X window is kept for press, which sends keys to that window.
wait_window() {
    local seen
    seen=$(probe wait "$1" "${3:-40}" "${2:-}") || fail "no window of class '$1' ${2:+showing '$2'}"
    printf '%s\n' "$seen" | tr -d '\r' | sed -n 's/^xwindow: //p' >"$(focus_file)"
    printf '%s\n' "$seen"
}

# Where wait_window leaves the X window that keys go to next.
focus_file() { echo "${WINEPREFIX:?}/.lumivo-foreground"; }

# Waits until no window of the class is left.
wait_gone() {
    probe gone "$1" "${2:-20}" || fail "'$1' did not close"
}

# The X window of the Wine desktop. A search fails now and then when another window goes away
# while xdotool looks at it: a few more tries.
desktop_window() {
    local found= try
    for try in 1 2 3 4 5 6 7 8 9 10; do
        found=$(xdotool search --name "^$LUMIVO_WINE_DESKTOP - Wine desktop" 2>/dev/null | head -n 1 || true)
        [ -z "$found" ] || break
        sleep 0.2
    done
    echo "$found"
}

# Presses keys (xdotool names) in the window that wait_window found last. Wine gives the X
# keyboard focus to the X window of its desktop's active window by itself; keys are sent once the
# focus is there, so that none reaches another window. When something else took the X focus (a
# window of another prefix on the same display), it is handed back to that X window.
press() {
    local target focus tries=0
    target=$(cat "$(focus_file)" 2>/dev/null || true)
    [ -n "$target" ] && [ "$target" != 0 ] || fail "press: no window was waited for"
    while focus=$(xdotool getwindowfocus 2>/dev/null || true); [ "$focus" != "$target" ]; do
        tries=$((tries + 1))
        [ "$tries" -le 100 ] || fail "the keyboard focus did not reach X window $target (it is on $focus)"
        [ $((tries % 10)) != 3 ] || xdotool windowfocus "$target" 2>/dev/null || true
        sleep 0.1
    done
    xdotool key --delay 100 "$@"
}

# Saves a PNG of the window that wait_window reported (its output in $1) to $2.
photograph() {
    local rect left top right bottom desktop X=0 Y=0
    rect=$(printf '%s\n' "$1" | tr -d '\r' | sed -n 's/^rect: //p')
    read -r left top right bottom <<<"$rect"
    desktop=$(desktop_window)
    [ -z "$desktop" ] || eval "$(xdotool getwindowgeometry --shell "$desktop" | grep -E '^[XY]=')"
    sleep 0.5 # let the window finish painting
    import -window root -crop "$((right - left))x$((bottom - top))+$((left + X))+$((top + Y))" +repage "$2"
}
