#!/usr/bin/env bash
# Load on the real print server: JOBS jobs (default 200), text and HTML by
# turns, submitted at once to the queue Velm_Filter_PDF (tests/cups-setup.sh
# BUILD installs that build's filter and the queue). Waits until the server
# is done with every one, then checks that each job completed once and that
# its one PDF carries its own text, and no other job's. Prints the counts
# and the time; exits 1 when a job was lost, doubled, mixed up or stopped.
# Usage: bench/cups_load.sh [JOBS]
set -euo pipefail
jobs=${1:-200}
queue=Velm_Filter_PDF
out=${VELM_CUPS_OUT:-/var/spool/cups-pdf/velm-tests}
lpstat -p "$queue" >/dev/null 2>&1 || { echo "cups_load: no queue $queue: run tests/cups-setup.sh BUILD" >&2; exit 1; }
work=$(mktemp -d /tmp/velm-load-XXXXXX)
trap 'rm -rf "$work"' EXIT
run=$$

# Each document names its job in every line, so a PDF shows whose it is.
for i in $(seq 1 "$jobs"); do
  mark="load-$run-$i"
  if [ $((i % 2)) = 1 ]; then
    for line in $(seq 1 $(( (i % 7 + 1) * 30 ))); do echo "$mark line $line of a text job"; done > "$work/$i.txt"
  else
    { echo "<html><head><title>$mark</title></head><body><h1>$mark</h1>"
      for line in $(seq 1 $(( (i % 5 + 1) * 20 ))); do echo "<p>$mark paragraph <b>$line</b></p>"; done
      echo "</body></html>"; } > "$work/$i.html"
  fi
done

start=$(date +%s)
declare -A id
for i in $(seq 1 "$jobs"); do
  file=$(ls "$work/$i".*)
  id[$i]=$(lp -d "$queue" -t "load-$run-$i" "$file" | sed -n "s/.*$queue-\([0-9]*\).*/\1/p") &&
    [ -n "${id[$i]}" ] || { echo "cups_load: lp refused job $i" >&2; exit 1; }
done
submitted=$(date +%s)

# The server is done with a job once lpstat lists it as completed, or it
# shows as stopped; a job the server still holds is neither.
ours() { for i in $(seq 1 "$jobs"); do echo "$queue-${id[$i]}"; done; }
while :; do
  lpstat -W completed -o "$queue" | awk '{print $1}' | sort > "$work/completed"
  lpstat -l -o "$queue" > "$work/pending"
  done_count=$(ours | sort | comm -12 - "$work/completed" | wc -l)
  stopped=$(grep -c "job-completed-with-errors\|job-stopped" "$work/pending" || true)
  [ $((done_count + stopped)) -ge "$jobs" ] && break
  ours | sort | comm -23 - "$work/completed" | grep -qFf - "$work/pending" || break
  sleep 1
done
finished=$(date +%s)

lost=0 doubled=0 mixed=0
for i in $(seq 1 "$jobs"); do
  pdfs=$(ls "$out" | grep -c "^job_${id[$i]}-.*\.pdf$" || true)
  if [ "$pdfs" = 0 ]; then lost=$((lost + 1)); continue; fi
  [ "$pdfs" = 1 ] || doubled=$((doubled + 1))
  text=$(pdftotext -raw "$out/$(ls "$out" | grep "^job_${id[$i]}-.*\.pdf$" | head -1)" - 2>/dev/null)
  marks=$(grep -o "load-$run-[0-9]*" <<<"$text" | sort -u)
  [ "$marks" = "load-$run-$i" ] || mixed=$((mixed + 1))
done
completed=$(ours | sort | comm -12 - "$work/completed" | wc -l)
printf 'jobs %d (text %d, html %d): completed %d, stopped %d, lost %d, doubled %d, mixed up %d\n' \
  "$jobs" $(( (jobs + 1) / 2 )) $((jobs / 2)) "$completed" "$stopped" "$lost" "$doubled" "$mixed"
printf 'submitted in %d s, all done after %d s\n' $((submitted - start)) $((finished - start))
[ "$completed" = "$jobs" ] && [ "$lost" = 0 ] && [ "$doubled" = 0 ] && [ "$mixed" = 0 ]
