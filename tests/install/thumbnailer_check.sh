#!/usr/bin/env bash
# The thumbnailer on one picture of each kind, and on damaged ones.
# Usage: thumbnailer_check.sh BIN_DIR SAMPLES_DIR
set -u
bin=$1 samples=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Width and height from a PNG's header, or nothing when the file is no PNG.
png_size() {
    [[ $(head -c 8 "$1" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || return
    od -An -tu1 -j16 -N8 "$1" | awk '{ print $3 * 256 + $4, $7 * 256 + $8 }'
}

for input in "$samples"/sample.*; do
    out="$work/$(basename "$input").png"
    "$bin/kordel-thumbnailer" -s 100 "$input" "$out" 2>"$work/err" ||
        { fail "$(basename "$input"): exit $?: $(cat "$work/err")"; continue; }
    read -r w h <<<"$(png_size "$out")"
    # At most 100 on the longer side; only the icon is smaller than that.
    [[ -n ${w:-} && $w -ge 1 && $h -ge 1 && $w -le 100 && $h -le 100 ]] &&
        { [[ $w -eq 100 || $h -eq 100 || $input == *.ico ]]; } ||
        fail "$(basename "$input"): thumbnail ${w:-?}x${h:-?}"
done

# The desktop tells the retro kinds by their signatures, also where the name does not.
for kind in mag p2 pi pic q4; do
    cp "$samples/sample.$kind" "$work/unnamed-$kind"
    "$bin/kordel-thumbnailer" -s 64 "$work/unnamed-$kind" "$work/unnamed-$kind.png" 2>/dev/null &&
        [[ -n $(png_size "$work/unnamed-$kind.png") ]] || fail "sample.$kind without its extension"
done

# Damaged files: an error exit, and neither the output nor a temporary file left behind.
mkdir "$work/bad"
head -c 300 "$samples/sample.mag" >"$work/bad/cut.mag"
{ printf 'P2DT'; head -c 996 /dev/zero; } >"$work/bad/zeros.p2"
printf 'not a picture' >"$work/bad/text.q4"
for input in "$work"/bad/*; do
    "$bin/kordel-thumbnailer" -s 128 "$input" "$work/bad/out.png" 2>/dev/null &&
        fail "$(basename "$input") was accepted"
    [[ $(ls "$work/bad" | wc -l) -eq 3 ]] || fail "$(basename "$input") left $(ls "$work/bad")"
done
"$bin/kordel-thumbnailer" -s 0 "$samples/sample.mag" "$work/bad/out.png" 2>/dev/null &&
    fail "size 0 was accepted"

[[ $failures -eq 0 ]] && echo "all thumbnails made, damaged files refused"
exit $((failures > 0))
