#!/usr/bin/env bash
# Starts the built program under Xvfb and reads what the window system holds.
# Usage: desktop_start.sh BIN_DIR SAMPLES_DIR
set -u
bin=$1 samples=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Informational options answer without any display.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$bin/kordel" --version 2>&1) &&
    [[ $out == "kordel "[0-9]* ]] || fail "--version printed '$out'"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$bin/kordel" --help 2>&1) &&
    [[ $out == Usage:* ]] || fail "--help printed '$out'"

for tool in Xvfb xwininfo; do
    command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
xvfb=""
cleanup() {
    [[ -n ${program:-} ]] && kill "$program" 2>/dev/null
    [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# A copy of the program with its plug-ins, so that its settings file stays in the copy.
mkdir -p "$work/bin" "$work/home" "$work/pics" "$work/tmp"
cp "$bin"/kordel "$bin"/*.spi "$bin"/libunlha32.so "$work/bin/" 2>/dev/null
cp "$samples/sample.bmp" "$work/pics/a.bmp"
cp "$samples/sample.bmp" "$work/pics/b.bmp"

exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
read -r -t 10 display <&$fd || { echo "SKIP: Xvfb did not start"; exit 77; }
export DISPLAY=:$display
unset QT_QPA_PLATFORM

# The window names the X server holds, one per line, without the quotes.
names() {
    local tree
    for _ in 1 2 3; do
        tree=$(xwininfo -root -tree 2>/dev/null) && break
    done
    sed -n 's/^ *0x[0-9a-f]* "\(.*\)": .*/\1/p' <<<"$tree"
}
# Starts the program with the given arguments and waits until a window named $want shows.
# Xvfb now and then resets a connection that opens just as another one closes (here:
# the polling xwininfo's); the program then cannot reach the display and is started
# again, and names() asks again.
run() {
    local want=$1
    shift
    for _ in 1 2 3; do
        HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" TMPDIR="$work/tmp" "$work/bin/kordel" "$@" \
            >"$work/out" 2>"$work/err" &
        program=$!
        for _ in $(seq 100); do
            names | grep -qxF "$want" && return 0
            kill -0 "$program" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$program" 2>/dev/null && return 1
        wait "$program" 2>/dev/null
        grep -q "could not connect to display" "$work/err" || return 1
    done
    return 1
}
show_err() { echo "--- program stderr:"; cat "$work/err"; }
stop() { kill -KILL "$program" 2>/dev/null; wait "$program" 2>/dev/null; program=""; }
# A logout's SIGTERM ends the program as its close box does, also while a box waits
# for an answer: the settings are written and the temporary folder goes.
terminate() {
    rm -f "$work/bin/KDL.INI"
    kill -TERM "$program"
    for _ in $(seq 100); do
        kill -0 "$program" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$program" 2>/dev/null && { fail "$1: still running 10 s after SIGTERM"; stop; return; }
    wait "$program"
    local status=$?
    program=""
    [[ $status -eq 0 ]] || fail "$1: exit status $status after SIGTERM"
    [[ -f $work/bin/KDL.INI ]] || fail "$1: no KDL.INI written after SIGTERM"
    compgen -G "$work/tmp/kordel-*" >/dev/null && fail "$1: left $(ls "$work/tmp")"
}

# The caption is exactly the program's text; nothing is appended to it.
run "Kordel [$work/pics/b.bmp]" "$work/pics/b.bmp" "$work/pics/a.bmp" ||
    { fail "no window 'Kordel [$work/pics/b.bmp]' for the first of two paths; windows: $(names | tr '\n' '|')"; show_err; }
names | grep -q -- ' — ' && fail "a title carries an appended name: $(names | tr '\n' '|')"
terminate "main window"

# A path that does not exist: said on stderr and in a box, and the program still starts.
run "Kordel" "$work/missing.jpg" || { fail "no main window after a missing path"; show_err; }
sleep 0.5
grep -qF "kordel: $work/missing.jpg: そのようなファイルやフォルダはありません" "$work/err" ||
    fail "stderr: $(cat "$work/err")"
[[ $(names | grep -cxF "Kordel") -ge 2 ]] || fail "no box beside the main window: $(names | tr '\n' '|')"
terminate "box open"

if [[ $failures -eq 0 ]]; then
    echo "desktop start: all checks passed"
    exit 0
fi
exit 1
