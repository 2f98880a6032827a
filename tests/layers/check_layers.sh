#!/usr/bin/env bash
# Every #include between src/ folders points down the layers, never up or sideways
# (image may use escpos). Prints each offending include.
set -uo pipefail
cd "$1"
declare -A rank=([platform]=0 [transport]=1 [printer]=2 [escpos]=3 [detect]=3 [image]=4 [api]=5)
status=0
for file in src/*/*.cpp src/*/*.h; do
  from=$(basename "$(dirname "$file")")
  [ -n "${rank[$from]+x}" ] || { echo "$file: folder without a layer"; status=1; continue; }
  for to in $(sed -n 's|^#include "\([a-z]*\)/.*|\1|p' "$file"); do
    [ "$to" = "$from" ] || [ "$to" = kesto ] && continue
    if [ -z "${rank[$to]+x}" ] || [ "${rank[$to]}" -ge "${rank[$from]}" ]; then
      echo "$file includes $to/: up or sideways"
      status=1
    fi
  done
done
exit $status
