#!/usr/bin/env bash
# run-fuzzer.sh BINARY WORKDIR SECONDS SEEDDIR CORPUSDIR
# Seeds a fresh work corpus from the project's seeds and the shared real-world
# images, then fuzzes for a bounded time. Any crash, leak or hang fails the run.
set -uo pipefail
bin=$1 work=$2 secs=$3 seeds=$4 corpus=$5
rm -rf "$work" && mkdir -p "$work/in" "$work/artifacts"
[ -d "$seeds" ] && find "$seeds" -type f -exec cp -t "$work/in" {} + 2>/dev/null
[ -d "$corpus" ] && find "$corpus" -type f \( -iname '*.png' -o -iname '*.jpeg' -o -iname '*.jpg' -o -iname '*.gif' \) \
  -size -200k -exec cp -t "$work/in" {} + 2>/dev/null
"$bin" "$work/in" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
  -artifact_prefix="$work/artifacts/" >"$work/log" 2>&1
rc=$?
if [ $rc -ne 0 ]; then tail -n 80 "$work/log"; else tail -n 2 "$work/log"; fi
exit $rc
