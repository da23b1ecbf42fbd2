#!/usr/bin/env bash
# Builds the Debian binary package with CPack and checks it the way Debian would:
#   scripts/package.sh        -> build-package/vornbsl_<version>_<arch>.deb
# The checks: lintian, desktop-file-validate, appstreamcli validate, every manual page
# rendered without a warning, the package's file list against data/debian/contents, and
# the programs run from the package unpacked into a throw-away root.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" --package
build=${VORN_PACKAGE_DIR:-$here/build-package}

# Debian's own compiler and linker flags (hardening included), with assertions kept.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DVORN_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j "$(nproc)" >/dev/null
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }
deb=$(ls "$build"/*.deb)
echo "package: built ${deb#"$here"/}"

fail() { echo "package: $*" >&2; exit 1; }

# The files it holds, against the list we mean to ship.
diff -u "$here/data/debian/contents" \
  <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort) ||
  fail "the package's files differ from data/debian/contents (- expected, + packed)"

# Lintian: no errors and no warnings, nothing suppressed. Its informational notes stay in
# the output: "spelling-error-in-binary" for "intrument" and "retreive(d)", which are the
# instruments' own texts, matched as they are; "binary-has-unneeded-section .comment",
# which CPack's strip leaves. It runs as an ordinary user when it can: it says root is not
# recommended.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
cp "$deb" "$work/"
chmod 644 "$work/${deb##*/}"
as_user=()
[ "$(id -u)" -eq 0 ] && id -u nobody >/dev/null 2>&1 && as_user=(runuser -u nobody --)
out=$(cd "$work" && "${as_user[@]}" env HOME="$work" lintian --fail-on error,warning --display-info \
  "${deb##*/}" 2>&1) || { echo "$out" >&2; fail "lintian refuses the package"; }
[ -z "$out" ] || echo "$out"

# Unpacked into a throw-away root, as dpkg would install it.
root=$work/root
dpkg -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/com.vornell.VornBSL.desktop" ||
  fail "desktop-file-validate refuses the desktop entry"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/com.vornell.VornBSL.metainfo.xml" >/dev/null ||
  fail "appstreamcli refuses the metadata"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$warnings" >&2; fail "man -l warns on ${page##*/}"; }
done

# The programs as installed: they start and answer from the package's own files.
"$root/usr/bin/vornbsl-cli" --version | grep -x "vornbsl-cli [0-9.]*" >/dev/null || fail "vornbsl-cli --version"
# grep reads it all (no -q): an early exit could break the pipe under pipefail.
"$root/usr/bin/vornsim" --help | grep "usage: vornsim" >/dev/null || fail "vornsim --help"
# The samples it ships are firmware images the installed programs read.
for sample in readwell-demo-2.00.txt classic-demo-2.00.txt; do
  "$root/usr/bin/vornbsl-cli" --dump "$work/sample-dump.txt" --firmware "$root/usr/share/vornbsl/samples/$sample" >/dev/null 2>&1 ||
    fail "the shipped sample $sample does not read as firmware"
done
dpkg-deb -f "$deb" Depends | grep "libqt6widgets6" >/dev/null || fail "the dependencies lack Qt's widget library"
echo "package: ${deb##*/}: lintian, desktop entry, metadata, manual pages and programs check out"
