#!/bin/sh
# Installs the build into a scratch DESTDIR, builds a C program against it through pkg-config
# and through find_package and runs it, then makes the Debian packages and lists them.
#   check_install.sh BUILD_DIR WORK_DIR VERSION CMAKE CPACK [java]
set -eu
build=$1 work=$2 version=$3 cmake=$4 cpack=$5 java=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$work/root
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"

DESTDIR=$root "$cmake" --install "$build" >"$work/install.log" || fail "cmake --install: see $work/install.log"
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")

pc=$(find "$root" -name KESTOCommu.pc)
[ -n "$pc" ] || fail "no KESTOCommu.pc installed"
libdir=${pc%/pkgconfig/*}
export PKG_CONFIG_LIBDIR="${pc%/*}" PKG_CONFIG_SYSROOT_DIR="$root"
export PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 PKG_CONFIG_ALLOW_SYSTEM_LIBS=1
[ "$(pkg-config --modversion KESTOCommu)" = "$version" ] || fail "pkg-config version is not $version"
# shellcheck disable=SC2046
cc -o "$work/by-pkg-config" "$here/consumer/consumer.c" $(pkg-config --cflags --libs KESTOCommu) ||
  fail "the consumer does not build with pkg-config's flags"
got=$(LD_LIBRARY_PATH=$libdir "$work/by-pkg-config")
[ "$got" = "$version" ] || fail "pkg-config consumer printed '$got', not $version"

"$cmake" -S "$here/consumer" -B "$work/consumer" -DKESTO_VERSION="$version" \
  -DCMAKE_PREFIX_PATH="$root$prefix" -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF >"$work/consumer.log" &&
  "$cmake" --build "$work/consumer" >>"$work/consumer.log" || fail "find_package consumer: see $work/consumer.log"
got=$("$work/consumer/consumer")
[ "$got" = "$version" ] || fail "find_package consumer printed '$got', not $version"

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/debs" >"$work/cpack.log" || fail "cpack: see $work/cpack.log"
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
lib=./usr/lib/$arch
# expect PACKAGE "DEPENDENCY..." PATH...: the package depends on each and holds each path.
expect() {
  deb=$(ls "$work/debs/$1"_*.deb) || fail "no package $1"
  depends=$(dpkg-deb -f "$deb" Depends)
  for d in $2; do
    case ", $depends" in *", $d"[\ ,]* | *", $d") ;; *) fail "$1 does not depend on $d: $depends" ;; esac
  done
  shift 2
  dpkg-deb --contents "$deb" | awk '{ print $6 }' >"$work/contents"
  for p; do grep -qxF "$p" "$work/contents" || fail "$deb lacks $p"; done
}
expect libkestocommu0 "libusb-1.0-0 imagemagick" "$lib/libKESTOCommu.so.$version" "$lib/libKESTOCommu.so.0" \
  "$lib/libKESTOCommu.so" ./usr/libexec/kesto/Convert.sh ./Volumes/VIZADAZEVUdiDizevezizov/scripts/Convert.sh \
  ./lib/udev/rules.d/60-kesto-printers.rules
expect libkestocommu-dev libkestocommu0 ./usr/include/kesto/kesto.h "$lib/pkgconfig/KESTOCommu.pc" \
  "$lib/cmake/KESTOCommu/KESTOCommuConfig.cmake" "$lib/cmake/KESTOCommu/KESTOCommuConfigVersion.cmake"
expect kesto-tools "libkestocommu0 libusb-1.0-0" ./usr/bin/kesto ./usr/bin/kesto-virtual-printer \
  ./usr/bin/kesto-hotplugd ./lib/systemd/system/kesto-hotplugd.service
packages=3
if [ -n "$java" ]; then
  expect libkestocommu-java "libkestocommu0 libjna-java" ./usr/share/java/kesto-java.jar
  packages=4
fi
[ "$(ls "$work/debs"/*.deb | wc -l)" -eq $packages ] || fail "not $packages packages: $(ls "$work/debs")"

# Packages made from any build point at /usr, whatever that build's prefix.
show() { dpkg-deb --fsys-tarfile "$work/debs/$1"_*.deb | tar -xOf - "$2"; }
show kesto-tools ./lib/systemd/system/kesto-hotplugd.service | grep -qx 'ExecStart=/usr/bin/kesto-hotplugd' ||
  fail "the unit does not start /usr/bin/kesto-hotplugd"
show libkestocommu0 ./Volumes/VIZADAZEVUdiDizevezizov/scripts/Convert.sh | grep -q '^exec /usr/libexec/kesto/Convert.sh ' ||
  fail "the fixed-path script does not hand over to /usr/libexec/kesto/Convert.sh"
show libkestocommu-dev "$lib/pkgconfig/KESTOCommu.pc" | grep -qx 'prefix=/usr' || fail "KESTOCommu.pc: prefix is not /usr"
echo "installed, consumed and packaged libKESTOCommu $version"
