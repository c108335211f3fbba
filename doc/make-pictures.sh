#!/usr/bin/env bash
# Makes the README's pictures from the current build: a printed sheet of
# samples/sample.txt at 1x1 and 2x2 from the built-in PDF printer, and the
# preview window on a virtual screen. Needs poppler-utils, xvfb, xdotool
# and imagemagick.  Usage: doc/make-pictures.sh [BUILD] [DISPLAY-NUMBER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
display=:${2:-86}
out=$here/pictures
sample=$here/../samples/sample.txt
work=$(mktemp -d)
trap 'kill "${xvfb:-}" "${velm:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$out"
export VELM_CONFIG_DIR=$work/config

for layout in 1x1 2x2; do
  "$build/velm" -o "$work/$layout.pdf" --layout=$layout "$sample" >/dev/null
  pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$work/$layout.pdf" "$out/sheet-$layout"
done

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 100); do DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display "$build/velm" --preview "$sample" >/dev/null 2>&1 &
velm=$!
# The preview is shown once its window is mapped with the page painted.
window=$(DISPLAY=$display timeout 60 xdotool search --sync --onlyvisible --name '^Velm Viewer$' 2>/dev/null | head -n 1 || true)
[ -n "$window" ] || { echo "make-pictures: the preview window did not appear" >&2; exit 1; }
DISPLAY=$display xdotool sync >/dev/null 2>&1 || true
sleep 1 # the first paint of the stored page follows the mapping
import -display "$display" -window "$window" "$out/preview.png"
echo "make-pictures: wrote $out/sheet-1x1.png, sheet-2x2.png, preview.png"
