#!/usr/bin/env bash
# Starts a local CUPS server (if none answers) with PDF queues for the
# printer tests: "Velm_Test_PDF", "Generic_Text_PDF" (a name that makes
# the engine draw no lines) and "Velm_Letter_PDF", whose default media is
# Letter. cups-pdf writes into $VELM_CUPS_OUT, every
# file labelled with its job number so that no job overwrites another.
# Needs root and the Debian packages cups, cups-client and
# printer-driver-cups-pdf (make deps-test installs them).
# With a build folder as argument it also installs that build's CUPS filter
# velmtopdf and its rule into the server's folders, and has the server
# reload when they changed; "Velm_Filter_PDF" is the queue of its tests.
set -euo pipefail
build=${1:-}
out=${VELM_CUPS_OUT:-/var/spool/cups-pdf/velm-tests}
conf=/etc/cups/cups-pdf.conf

fail() { echo "cups-setup: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || fail "must run as root (it starts cupsd and adds queues)"
for tool in cupsd lpadmin lpstat lpinfo cupsenable cupsaccept; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] ||
    fail "$tool is missing: install cups and cups-client (make deps-test)"
done
export PATH="$PATH:/usr/sbin"
[ -x /usr/lib/cups/backend/cups-pdf ] && [ -f "$conf" ] ||
  fail "the cups-pdf backend is missing: install printer-driver-cups-pdf (make deps-test)"

mkdir -p "$out"
chmod 1777 "$out"

# One key of cups-pdf.conf, replacing any earlier setting of it.
set_key() {
  sed -i -e "/^$1[[:space:]]/d" "$conf"
  printf '%s %s\n' "$1" "$2" >>"$conf"
}
set_key Out "$out"
set_key AnonDirName "$out"
set_key Label 1

running() { lpstat -r 2>/dev/null | grep -q "is running"; }
# Copies a file into place when it differs; says whether it did.
install_changed() {
  cmp -s "$1" "$2/$(basename "$1")" && return 1
  install -D -m "$3" "$1" "$2/$(basename "$1")"
}
if [ -n "$build" ]; then
  [ -x "$build/velmtopdf" ] || fail "$build/velmtopdf is missing: build first"
  serverbin=$(cups-config --serverbin)
  datadir=$(cups-config --datadir)
  changed=0
  install_changed "$build/velmtopdf" "$serverbin/filter" 755 || true
  install_changed "$(dirname "$0")/../resources/velm.convs" "$datadir/mime" 644 && changed=1
  # A new rule is read at start: a running server is stopped first (a
  # reload would be deferred while jobs run, and answer before it is done).
  if [ "$changed" = 1 ] && running; then
    pid=$(cat /run/cups/cupsd.pid)
    kill "$pid"
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
fi

if ! running; then
  mkdir -p /run/cups /var/spool/cups /var/cache/cups /var/log/cups
  cupsd || fail "cupsd did not start (see /var/log/cups/error_log)"
  for _ in $(seq 1 100); do running && break; sleep 0.1; done
  running || fail "cupsd started but does not answer (see /var/log/cups/error_log)"
fi

ppd=$(lpinfo -m 2>/dev/null | awk '/CUPS-PDF/ {print $1; exit}')
queues="Velm_Test_PDF Generic_Text_PDF Velm_Letter_PDF${build:+ Velm_Filter_PDF}"
for q in $queues; do
  # Printer drivers are deprecated in CUPS 2.4 but still work; the warning is noise.
  if ! lpadmin -p "$q" -E -v cups-pdf:/ ${ppd:+-m "$ppd"} 2>/dev/null; then
    lpadmin -p "$q" -E -v cups-pdf:/ || fail "cannot add the queue $q"
  fi
  # cups-pdf takes PostScript; poppler's and ghostscript's converters turn
  # the fonts into glyph outlines without text, cairo's keeps the text that
  # the tests read back with pdftotext.
  lpadmin -p "$q" -o pdftops-renderer-default=pdftocairo
  [ "$q" = Velm_Letter_PDF ] && lpadmin -p "$q" -o media-default=na_letter_8.5x11in
  cupsenable "$q"
  cupsaccept "$q"
done
lpstat -p Velm_Test_PDF >/dev/null && lpstat -p Generic_Text_PDF >/dev/null ||
  fail "the queues do not show in lpstat"
echo "CUPS running; PDF queues Velm_Test_PDF, Generic_Text_PDF, Velm_Letter_PDF write into $out"
