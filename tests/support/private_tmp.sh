#!/bin/sh
# Runs a test with a /tmp of its own (a new mount namespace), for tests whose
# programs write the library's fixed files there: another test run on the same
# machine never meets them. Where namespaces are not allowed, runs it as it is.
if unshare -rm true 2>/dev/null; then
  exec unshare -rm sh -c 'mount -t tmpfs tmpfs /tmp && exec "$0" "$@"' "$@"
fi
exec "$@"
