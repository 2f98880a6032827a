#!/bin/sh
# Runs a command in a namespace of its own, for tests whose programs use
# machine-wide resources (the library's fixed /tmp files, its notification
# endpoints on 127.0.0.1) that another run on the same machine may hold.
# It takes what the machine allows: root needs no user namespace, anyone else
# asks for one that maps them to root (neither works in a chroot as a user).
#
#   own_namespace.sh tmp [DIR...] -- COMMAND...
#       a fresh /tmp, with each DIR that lies under /tmp (the source and build
#       folders) bound back at its own path, so that the command and its files
#       stay reachable. Without a mount namespace (a chroot: its root is no
#       mount point) the command runs in the machine's /tmp, one such command
#       at a time on the machine.
#   own_namespace.sh net -- COMMAND...
#       a network of its own with the loopback up. Without a network namespace
#       the command does not run: why goes to standard output, and the exit
#       code is 77, on which the tests report themselves skipped.

# Prints the unshare option that gives namespace $1 here; or why none does, failing.
namespace_option() {
    tries="-r$1"
    [ "$(id -u)" -eq 0 ] && tries="-$1 -r$1"
    why=
    for option in $tries; do
        error=$(unshare "$option" true 2>&1) && printf "%s\n" "$option" && return 0
        [ -n "$why" ] || why="unshare $option: ${error#unshare: }"
    done
    echo "$why"
    return 1
}

mode=$1
shift
case $mode in
tmp)
    option=$(namespace_option m) || {
        while [ "$1" != -- ]; do shift; done
        shift
        exec flock /tmp/.kesto-fixed-files.lock "$@"
    }
    # Inside, each kept folder is opened before the tmpfs hides it, then bound
    # back from its descriptor (-c: the kernel, not mount, follows that link).
    exec unshare "$option" sh -c '
        fd=3 kept=
        for dir; do
            shift
            [ "$dir" = -- ] && break
            case $dir in /tmp/*)
                eval "exec $fd<\"\$dir\" && dir$fd=\$dir" || exit 1
                kept="$kept $fd" fd=$((fd + 1)) ;;
            esac
        done
        mount -t tmpfs tmpfs /tmp || exit 1
        for fd in $kept; do
            eval "dir=\$dir$fd"
            mkdir -p "$dir" && mount -c --bind "/proc/self/fd/$fd" "$dir" && eval "exec $fd<&-" || exit 1
        done
        exec "$@"' sh "$@"
    ;;
net)
    [ "$1" = -- ] && shift
    option=$(namespace_option n) || { echo "no network namespace here: $option"; exit 77; }
    exec unshare "$option" sh -c 'ip link set lo up && exec "$@"' sh "$@"
    ;;
*)
    echo "usage: $0 tmp [DIR...] -- COMMAND... | net -- COMMAND..." >&2
    exit 2
    ;;
esac
