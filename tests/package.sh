#!/usr/bin/env bash
# Builds the Debian package as the README says, from a copy of the source
# tree, and checks it: the version is the program's, it holds the program,
# the CUPS filter and its rule where cupsd reads them, the desktop entry,
# icon, man page and completion, and lintian finds no error in it.
# Slow (a whole release build): `make check` runs it after the ctests.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
work=${VELM_PACKAGE_DIR:-${TMPDIR:-/tmp}/velm-package}

fail() { echo "package: $*" >&2; exit 1; }

version=$(sed -n '1s/^velm (\([^)]*\)).*/\1/p' "$src/debian/changelog")
program=$(sed -n 's/^project(velm VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ -n "$version" ] && [ "${version%%-*}" = "$program" ] ||
  fail "debian/changelog's version '$version' is not the program's '$program'"

# The files git would commit, without the build folders; a tree that is no
# checkout (an unpacked release, or no git installed) without what
# .gitignore names as made by builds.
rm -rf "$work"
tree="$work/velm-$version"
mkdir -p "$tree"
if command -v git >/dev/null && git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$src" && git ls-files -z --cached --others --exclude-standard |
    xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
    xargs -0 cp --parents -t "$tree")
else
  (cd "$src" && tar -cf - --exclude='./build*' --exclude='./obj-*' --exclude=./debian/velm \
    --exclude=./debian/.debhelper --exclude=./debian/files --exclude='./debian/*.substvars' \
    --exclude=./debian/debhelper-build-stamp --exclude='./debian/*.debhelper.log' \
    --exclude=compile_commands.json .) | tar -xf - -C "$tree"
fi

# Repeated builds reuse their objects (same folder, so the same paths).
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$work"
fi
(cd "$tree" && dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log" >&2; fail "dpkg-buildpackage failed (log: $work/build.log)"; }

deb="$work/velm_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
cupsbin=$(cups-config --serverbin)
cupsdata=$(cups-config --datadir)
for f in /usr/bin/velm /usr/lib/velm/velm-desktop "$cupsbin/filter/velmtopdf" "$cupsdata/mime/velm.convs" \
  /usr/share/applications/velm.desktop /usr/share/icons/hicolor/scalable/apps/velm.svg \
  /usr/share/man/man1/velm.1.gz /usr/share/bash-completion/completions/velm; do
  grep -qx "$f" "$work/files" || fail "$deb lacks $f"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb has another version"

lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log" >&2; fail "lintian reports errors"; }
echo "package: $deb holds $(wc -l <"$work/files") entries; lintian finds no error"
cat "$work/files"
