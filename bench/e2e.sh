#!/usr/bin/env bash
# End to end: `velm -o out.pdf` on large text files, text to finished PDF.
# Usage: bench/e2e.sh BUILD_DIR [MEGABYTES...]   (default sizes: 1 4)
# Prints pages, wall time, pages per second and peak memory per size; peak
# memory should stay flat as the file grows, since pages are played one at
# a time.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
[ $# -gt 0 ] || set -- 1 4
sizes=("$@")
velm=$build/velm
[ -x "$velm" ] || { echo "e2e: build velm first ($velm)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "e2e: /usr/bin/time is missing: install the package 'time'" >&2; exit 1; }
command -v pdfinfo >/dev/null || { echo "e2e: pdfinfo is missing: install poppler-utils" >&2; exit 1; }

work=$(mktemp -d /tmp/velm-e2e-XXXXXX)
trap 'rm -rf "$work"' EXIT
export VELM_CONFIG_DIR=$work/config VELM_PDF_DIR=$work/pdf QT_QPA_PLATFORM=offscreen
mkdir -p "$VELM_CONFIG_DIR" "$VELM_PDF_DIR"

# Printable ASCII source text from files every Debian machine has.
make_input() { # file megabytes
  : >"$1"
  while [ "$(stat -c %s "$1")" -lt $(($2 * 1048576)) ]; do
    cat /usr/include/*.h | LC_ALL=C tr -cd '\11\12\40-\176' >>"$1"
  done
}

printf '%8s %8s %9s %9s %12s\n' "MB" "pages" "seconds" "pages/s" "peak RSS MB"
for mb in "${sizes[@]}"; do
  input=$work/input-$mb.txt
  make_input "$input" "$mb"
  /usr/bin/time -v -o "$work/time" "$velm" -o "$work/out.pdf" "$input" >/dev/null
  pages=$(pdfinfo "$work/out.pdf" | awk '/^Pages:/ {print $2}')
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s}' "$work/time")
  rss=$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2 / 1024}' "$work/time")
  awk -v mb="$mb" -v p="$pages" -v s="$seconds" -v r="$rss" \
    'BEGIN {printf "%8s %8d %9.2f %9.1f %12s\n", mb, p, s, (s > 0 ? p / s : 0), r}'
done
