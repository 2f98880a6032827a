#!/usr/bin/env bash
# The shared library exports exactly its public names: every required name is
# there, and nothing internal (no std:: template instances, no internal namespace).
set -euo pipefail
lib=$1
required=$2

exported=$(nm -D --defined-only "$lib" | awk '{ $1=""; $2=""; sub(/^  /, ""); print }' | c++filt)
status=0

while IFS= read -r name; do
  case "$name" in ''|'#'*) continue ;; esac
  if ! grep -qxF -- "$name" <<<"$exported"; then
    echo "missing export: $name"
    status=1
  fi
done <"$required"

# Everything exported must be on the list (linker-made markers aside).
while IFS= read -r name; do
  case "$name" in _init|_fini|_edata|_end|__bss_start|'') continue ;; esac
  if ! grep -qxF -- "$name" <(grep -v '^#' "$required"); then
    echo "unexpected export: $name"
    status=1
  fi
done <<<"$exported"

if [ "$(uname)" = Linux ] && grep -qx 'sem_timedwait' <<<"$exported"; then
  echo "sem_timedwait must not shadow the C library's"
  status=1
fi

[ $status -eq 0 ] && echo "exports ok: $(wc -l <<<"$exported") names"
exit $status
