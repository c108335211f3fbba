#!/usr/bin/env bash
# Text in complex scripts against plain ASCII, `velm -o` end to end.
# Usage: bench/shaping.sh BUILD_DIR [BASELINE_BUILD_DIR] [RUNS]
# Inputs of 5 MB: ASCII (the licences every Debian machine has) and mixed
# complex text (the translated lines of tests/data/scripts/catalogues.tsv,
# 32 scripts and both directions, repeated). Runs alternate, so that a
# drifting machine moves both sides alike; prints median wall seconds and
# peak RSS per input, and the ratios: ASCII against the baseline build
# (the same program before shaping), complex text against ASCII.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
base=${2:-}
[ -n "$base" ] && base=$(cd "$base" && pwd)
runs=${3:-5}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/velm-shaping-XXXXXX)
trap 'rm -rf "$work"' EXIT
export VELM_CONFIG_DIR=$work/config QT_QPA_PLATFORM=offscreen SOURCE_DATE_EPOCH=0
mkdir -p "$VELM_CONFIG_DIR"

fill() { # out seed: the seed repeated to 5 MB, cut at a line end
  : > "$1"
  while [ "$(stat -c %s "$1")" -lt 5000000 ]; do cat "$2" >> "$1"; done
  head -c 5000000 "$1" | sed '$d' > "$1.tmp" && mv "$1.tmp" "$1"
}
cat /usr/share/common-licenses/* | LC_ALL=C tr -cd '\12\40-\176' > "$work/ascii.seed"
grep -v '^#' "$here/tests/data/scripts/catalogues.tsv" | cut -f6 > "$work/complex.seed"
fill "$work/ascii.txt" "$work/ascii.seed"
fill "$work/complex.txt" "$work/complex.seed"

timed() { # velm input -> "seconds KB"
  /usr/bin/time -f '%e %M' -o "$work/time" "$1" -o "$work/out.pdf" "$2" >/dev/null 2>&1
  cat "$work/time"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

declare -A secs mems
for _ in $(seq "$runs"); do
  for kind in ascii complex; do
    read -r s m <<< "$(timed "$build/velm" "$work/$kind.txt")"
    secs[$kind]+="$s "; mems[$kind]+="$m "
  done
  if [ -n "$base" ]; then
    read -r s m <<< "$(timed "$base/velm" "$work/ascii.txt")"
    secs[base]+="$s "; mems[base]+="$m "
  fi
done
med() { tr ' ' '\n' <<< "$1" | grep . | median; }
printf '%-22s %9s %12s\n' input seconds "peak RSS KB"
for kind in ascii complex base; do
  [ -n "${secs[$kind]:-}" ] || continue
  printf '%-22s %9s %12s\n' "$kind" "$(med "${secs[$kind]}")" "$(med "${mems[$kind]}")"
done
a=$(med "${secs[ascii]}")
c=$(med "${secs[complex]}")
awk -v a="$a" -v c="$c" 'BEGIN {printf "complex / ascii        %9.2f\n", c / a}'
if [ -n "$base" ]; then
  b=$(med "${secs[base]}")
  awk -v a="$a" -v b="$b" 'BEGIN {printf "ascii / baseline       %9.3f\n", a / b}'
fi
