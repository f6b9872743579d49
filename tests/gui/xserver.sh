# Shell helpers of the desktop tests and the screenshot script: a private X server on a display
# number it picks itself (so parallel runs never meet), and waiting for windows.
# Source this file; then start_xserver, and stop_xserver on the way out.

start_xserver() {
    local ready
    ready=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$ready" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 100); do
        if [ -s "$ready" ]; then
            DISPLAY=":$(head -n1 "$ready")"
            export DISPLAY
            rm -f "$ready"
            return 0
        fi
        if ! kill -0 "$XVFB_PID" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    rm -f "$ready"
    echo "No se pudo iniciar el servidor X virtual (Xvfb)" >&2
    return 1
}

stop_xserver() {
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        { wait "$XVFB_PID" || true; } 2>/dev/null
        XVFB_PID=
    fi
}

# wait_window NAME_REGEX [SECONDS]: prints the id of the first visible window whose name matches.
wait_window() {
    local id
    for _ in $(seq $((${2:-20} * 10))); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "No aparece la ventana \"$1\"" >&2
    return 1
}

# wait_exit PID [SECONDS]: waits for a background process; fails if it outlives the time.
wait_exit() {
    for _ in $(seq $((${2:-20} * 10))); do
        if ! kill -0 "$1" 2>/dev/null; then
            wait "$1"
            return $?
        fi
        sleep 0.1
    done
    echo "El proceso $1 no termina" >&2
    return 124
}
