#!/usr/bin/env bash
# Starts a local CUPS server (if none answers) with two PDF queues for the
# printer tests: "Velm_Test_PDF" and "Generic_Text_PDF" (a name that makes
# the engine draw no lines). cups-pdf writes into $VELM_CUPS_OUT.
set -euo pipefail
out=${VELM_CUPS_OUT:-/var/spool/cups-pdf/velm-tests}
mkdir -p "$out"; chmod 1777 "$out"
conf=/etc/cups/cups-pdf.conf
if [ -f "$conf" ] && ! grep -q "^Out $out" "$conf"; then
  sed -i -e '/^Out /d' -e '/^AnonDirName /d' "$conf"
  printf 'Out %s\nAnonDirName %s\n' "$out" "$out" >> "$conf"
fi
if ! lpstat -r 2>/dev/null | grep -q "is running"; then
  (cupsd) || true
  for _ in $(seq 1 50); do lpstat -r 2>/dev/null | grep -q "is running" && break; sleep 0.2; done
fi
ppd=$(lpinfo -m 2>/dev/null | awk '/CUPS-PDF/ {print $1; exit}')
for q in Velm_Test_PDF Generic_Text_PDF; do
  lpadmin -p "$q" -E -v cups-pdf:/ ${ppd:+-m "$ppd"} 2>/dev/null || lpadmin -p "$q" -E -v cups-pdf:/
  cupsenable "$q"; cupsaccept "$q"
done
echo "CUPS running; PDF queues Velm_Test_PDF, Generic_Text_PDF write into $out"
