#!/usr/bin/env bash
# Prints the four sample receipts and a sample photo on the virtual printer and
# lists the rendered receipts.   usage: tools/demo-receipts.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$1
out=$2
vp=$build/tools/virtual-printer/kesto-virtual-printer
kesto=$build/tools/kesto/kesto
export KESTO_CONVERT_SCRIPT=$PWD/tools/convert/Convert.sh

rm -f "$out"/receipt-*.png "$out"/receipt-*.txt
"$vp" --bind 127.0.0.1 --port 0 --out "$out" >"$out/virtual-printer.log" 2>&1 &
vp_pid=$!
trap 'kill "$vp_pid" 2>/dev/null || true' EXIT

port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' "$out/virtual-printer.log" | head -n 1)
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { echo "the virtual printer did not start:" >&2; cat "$out/virtual-printer.log" >&2; exit 1; }
echo "virtual printer on 127.0.0.1:$port"

printer=(--tcp "127.0.0.1:$port")
for n in 1 2 3 4; do
  echo "printing sample receipt $n"
  "$kesto" "${printer[@]}" receipt "$n"
done
echo "printing tools/demo/sample-photo.jpg"
"$kesto" "${printer[@]}" image tools/demo/sample-photo.jpg


kill -TERM "$vp_pid"
wait "$vp_pid" 2>/dev/null || true
trap - EXIT

echo
echo "rendered receipts (PNG) and transcripts:"
ls -1 "$out"/receipt-*.png "$out"/receipt-*.txt
