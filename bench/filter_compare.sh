#!/usr/bin/env bash
# velmtopdf against cups-filters' texttopdf, both called as cupsd calls a
# filter (env -i, a TMPDIR, the cups-pdf PPD, CONTENT_TYPE text/plain), on
# a one-page job and on a 5 MB text. Usage: bench/filter_compare.sh [BUILD]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
texttopdf=$(cups-config --serverbin)/filter/texttopdf
[ -x "$texttopdf" ] || { echo "filter_compare: texttopdf is missing: install cups-filters" >&2; exit 1; }
work=$(mktemp -d /tmp/velm-filter-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp"
cat /usr/share/common-licenses/* | LC_ALL=C tr -cd '\11\12\40-\176' > "$work/seed.txt"
head -n 40 "$work/seed.txt" > "$work/page.txt"
while [ "$(stat -c %s "$work/big.txt" 2>/dev/null || echo 0)" -lt 5000000 ]; do cat "$work/seed.txt" >> "$work/big.txt"; done
head -c 5000000 "$work/big.txt" > "$work/5mb.txt"
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
run() { # filter input
  env -i PATH=/usr/bin:/bin TMPDIR="$work/tmp" PPD=$ppd CONTENT_TYPE=text/plain \
    CUPS_DATADIR=/usr/share/cups "$1" 1 bench title 1 "" "$2" > "$work/out.pdf" 2>/dev/null
}
for input in page.txt 5mb.txt; do
  for filter in "$build/velmtopdf" "$texttopdf"; do
    runs=$([ "$input" = page.txt ] && echo 10 || echo 2)
    start=$(date +%s%N)
    for _ in $(seq 1 "$runs"); do run "$filter" "$work/$input"; done
    end=$(date +%s%N)
    printf '%-10s %-12s %8.0f ms  %s pages, %s bytes\n' "$input" "$(basename "$filter")" \
      "$(( (end - start) / runs / 1000000 ))" "$(pdfinfo "$work/out.pdf" | awk '/^Pages/ {print $2}')" \
      "$(stat -c %s "$work/out.pdf")"
  done
done
