#!/usr/bin/env bash
# Prints the four sample receipts and a sample photo on the virtual printer and
# lists the rendered receipts.   usage: tools/demo-receipts.sh BUILD_DIR OUT_DIR
# Fails, naming what went wrong, when a print fails or a receipt is missing.
set -euo pipefail
build=$1
out=$2
vp=$build/tools/virtual-printer/kesto-virtual-printer
kesto=$build/tools/kesto/kesto
log=$out/virtual-printer.log
export KESTO_CONVERT_SCRIPT=$PWD/tools/convert/Convert.sh
export KESTO_CONVERTER=$(cd "$build" && pwd)/tools/convert/kesto-convert

fail() {
  echo "demo: $*" >&2
  echo "virtual printer log ($log):" >&2
  cat "$log" >&2 || true
  exit 1
}

rm -f "$out"/receipt-*.png "$out"/receipt-*.txt
"$vp" --bind 127.0.0.1 --port 0 --out "$out" >"$log" 2>&1 &
vp_pid=$!
trap 'kill "$vp_pid" 2>/dev/null || true' EXIT

port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' "$log" | head -n 1)
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || fail "the virtual printer did not start"
echo "virtual printer on 127.0.0.1:$port"

printer=(--tcp "127.0.0.1:$port")
for n in 1 2 3 4; do
  echo "printing sample receipt $n"
  "$kesto" "${printer[@]}" receipt "$n" || fail "printing sample receipt $n failed"
done
echo "printing tools/demo/sample-photo.jpg"
"$kesto" "${printer[@]}" image tools/demo/sample-photo.jpg || fail "printing tools/demo/sample-photo.jpg failed"

# On SIGTERM the printer renders every receipt it has received, then exits.
kill -TERM "$vp_pid" 2>/dev/null || true
for _ in $(seq 1 600); do
  kill -0 "$vp_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$vp_pid" 2>/dev/null; then
  kill -KILL "$vp_pid" 2>/dev/null || true
  fail "the virtual printer did not finish within 60 s of SIGTERM"
fi
vp_status=0
wait "$vp_pid" || vp_status=$?
trap - EXIT
[ "$vp_status" -eq 0 ] || fail "the virtual printer exited with status $vp_status"

missing=()
for n in 1 2 3 4 5; do
  for ext in png txt; do
    [ -s "$out/receipt-$n.$ext" ] || missing+=("$out/receipt-$n.$ext")
  done
done
[ ${#missing[@]} -eq 0 ] || fail "receipts missing after printing: ${missing[*]}"

echo
echo "rendered receipts (PNG) and transcripts:"
ls -1 "$out"/receipt-*.png "$out"/receipt-*.txt
