#!/usr/bin/env bash
# Installs the build into a temporary tree (DESTDIR) and checks it as a distribution would: the
# files where the conventions put them, the desktop entry and the AppStream metadata valid, the
# manual pages rendering without warnings, the installed tools running, and the Debian package
# holding the same files with its dependencies.
# Usage: check-install.sh BUILD_DIR VERSION
set -euo pipefail
build_dir=$1
version=$2
app_id=org.tempomere.Tempomere

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

DESTDIR="$root" cmake --install "$build_dir" --prefix /usr >"$work/install.log"

for f in \
  usr/bin/tempomere \
  usr/bin/tempomere-query \
  usr/share/tempomere/Horaplex.chm \
  usr/share/applications/$app_id.desktop \
  usr/share/metainfo/$app_id.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/tempomere.svg \
  usr/share/icons/hicolor/48x48/apps/tempomere.png \
  usr/share/icons/hicolor/256x256/apps/tempomere.png \
  usr/share/man/man1/tempomere.1 \
  usr/share/man/man1/tempomere-query.1; do
  [ -s "$root/$f" ] || fail "missing or empty: /$f"
done
[ -x "$root/usr/bin/tempomere" ] || fail "/usr/bin/tempomere is not executable"

# Only the programs go to bin/: no test program, benchmark or demo is installed.
installed_bins=$(ls "$root/usr/bin" | tr '\n' ' ')
[ "$installed_bins" = "tempomere tempomere-query " ] || fail "unexpected programs in bin/: $installed_bins"

# The PNG sizes are what their folder names say.
for size in 16 32 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/tempomere.png"
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dims" = "${size}x${size}" ] || fail "icon ${size}x${size} is $dims"
done

desktop-file-validate "$root/usr/share/applications/$app_id.desktop" || fail "desktop entry"
grep -q '^Categories=.*Utility;' "$root/usr/share/applications/$app_id.desktop" ||
  fail "desktop entry is not in Utility"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/$app_id.metainfo.xml" \
  >"$work/appstream.log" 2>&1 || {
  cat "$work/appstream.log" >&2
  fail "AppStream metadata"
}
grep -q "version=\"$version\"" "$root/usr/share/metainfo/$app_id.metainfo.xml" ||
  fail "AppStream metadata does not carry version $version"

for page in tempomere tempomere-query; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page $page(1) warns: $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$root/usr/share/man/man1/$page.1" 2>/dev/null |
    grep -q "EXIT STATUS" || fail "man page $page(1) has no EXIT STATUS section"
done

# The installed query tool runs and knows the project's version.
got=$("$root/usr/bin/tempomere-query" --version) || fail "tempomere-query --version failed"
[[ "$got" == *"$version"* ]] || fail "tempomere-query --version printed '$got', not $version"

# The Debian package: built from the same install rules, with computed dependencies, the help
# viewer recommended, and the files of the tree.
(cd "$work" && cpack -G DEB -B "$work/package" --config "$build_dir/CPackConfig.cmake" \
  >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log" >&2
  fail "cpack -G DEB"
}
deb=$(ls "$work"/package/tempomere_*.deb 2>/dev/null | head -1)
if [ -n "$deb" ]; then
  info=$(dpkg-deb --info "$deb")
  contents=$(dpkg-deb --contents "$deb")
  grep -q "^ Version: $version" <<<"$info" || fail "package version is not $version"
  grep -q "^ Depends:.*libqt6widgets6" <<<"$info" || fail "package does not depend on Qt Widgets"
  grep -q "^ Depends:.*libc6" <<<"$info" || fail "package dependencies were not computed"
  grep -q "^ Recommends: kchmviewer | xchm" <<<"$info" || fail "package does not recommend a help viewer"
  ! grep -q "^ *;" <<<"$info" || fail "package description holds list separators"
  for f in usr/bin/tempomere usr/bin/tempomere-query usr/share/tempomere/Horaplex.chm \
    usr/share/applications/$app_id.desktop usr/share/man/man1/tempomere-query.1; do
    grep -q " \./$f\$" <<<"$contents" || fail "package lacks /$f"
  done
  dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -q 'postinst' || fail "package has no postinst"
  # The package says how to grant the clock capability, and grants none by itself.
  postinst=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./postinst)
  grep -q 'setcap cap_sys_time+ep' <<<"$postinst" || fail "postinst does not say how to grant it"
  ! grep -Eq '^[[:space:]]*setcap' <<<"$postinst" || fail "postinst runs setcap"
else
  fail "no package was built"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installed tree and package: all checks passed"
