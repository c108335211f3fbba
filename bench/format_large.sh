#!/usr/bin/env bash
# Formatting speed and peak memory of the engine on large text files.
# Usage: bench/format_large.sh BUILD_DIR [MEGABYTES...]   (default: 1 100)
# Build with -DVELM_BENCH=ON first. Peak memory should not grow with the
# file: the reader's look-ahead is fixed and one page is open at a time.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
[ $# -gt 0 ] || set -- 1 100
tool=$build/bench/format_pages
[ -x "$tool" ] || { echo "format_large: build bench/format_pages first (-DVELM_BENCH=ON)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "format_large: /usr/bin/time is missing: install the package 'time'" >&2; exit 1; }

work=$(mktemp -d /tmp/velm-format-XXXXXX)
trap 'rm -rf "$work"' EXIT
export VELM_CONFIG_DIR=$work/config QT_QPA_PLATFORM=offscreen
mkdir -p "$VELM_CONFIG_DIR" "$work/pages"

# Printable text with CR LF line ends, from files every Debian machine has.
make_input() { # file megabytes
  local seed=$work/seed.txt
  cat /usr/share/common-licenses/* | LC_ALL=C tr -cd '\11\12\40-\176' | sed 's/$/\r/' > "$seed"
  : > "$1"
  while [ "$(stat -c %s "$1")" -lt $(($2 * 1000000)) ]; do cat "$seed" >> "$1"; done
  truncate -s $(($2 * 1000000)) "$1"
}

printf '%8s %8s %9s %9s %12s\n' MB pages seconds pages/s "peak RSS KB"
for mb in "$@"; do
  input=$work/in$mb.txt
  make_input "$input" "$mb"
  out=$( (cd "$work/pages" && /usr/bin/time -v "$tool" "$input") 2> "$work/time")
  rss=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$work/time")
  read -r _ pages _ seconds _ rate <<< "$out"
  printf '%8s %8s %9s %9s %12s\n' "$mb" "$pages" "$seconds" "$rate" "$rss"
  rm -f "$input"
done
