#!/usr/bin/env bash
# Builds the Debian package of a build folder, extracts it into a temporary root and checks
# what installing it gives: control fields, files, programs that run, entries that validate.
#   package_check.sh BUILD_DIR WORK_DIR
# lintian runs too where it is installed; its errors fail the check.
set -euo pipefail
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work"

status=0
fail() { echo "FAIL: $*"; status=1; }

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb=$work/stereolux_${version}_${arch}.deb
[ -f "$deb" ] || { echo "no $deb; cpack made:"; ls "$work"; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = stereolux ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = sound ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
# Computed from the binaries: the toolkit, both sound layers and the file reader.
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6widgets6 libpulse0 libasound2 libsndfile1; do
  tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -qxF "$lib" || fail "Depends lacks $lib: $depends"
done
description=$(field Description)
[ "$(head -n1 <<<"$description")" = "small resizable stereo level meter" ] ||
  fail "synopsis: $(head -n1 <<<"$description")"
grep -q 'two-bar LED meter' <<<"$description" || fail "no English description"
grep -q 'bargraphe à diodes' <<<"$description" || fail "no French description"

root=$work/root
dpkg-deb -x "$deb" "$root"
expected=(
  usr/bin/stereolux
  usr/bin/stereolux-scan
  usr/share/applications/org.stereolux.Stereolux.desktop
  usr/share/metainfo/org.stereolux.Stereolux.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/stereolux.svg
  usr/share/doc/stereolux/a_lire.txt
  usr/share/doc/stereolux/copyright
  usr/share/doc/stereolux/changelog.gz
  usr/share/man/man1/stereolux.1.gz
  usr/share/man/man1/stereolux-scan.1.gz
)
for f in "${expected[@]}"; do
  [ -s "$root/$f" ] || fail "missing: /$f"
done
# Nothing else: no tests, benchmarks or build leftovers, nothing outside /usr.
unexpected=$(cd "$root" && find . -type f | sed 's|^\./||' | sort |
             comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
[ -z "$unexpected" ] || fail "unexpected files: $unexpected"
bad_modes=$(cd "$root" && { find . -type d ! -perm 755; find usr/bin -type f ! -perm 755;
                           find . -type f ! -path './usr/bin/*' ! -perm 644; })
[ -z "$bad_modes" ] || fail "modes other than 755 for folders and programs, 644 for files: $bad_modes"

scan_version=$("$root/usr/bin/stereolux-scan" --version) || fail "stereolux-scan --version failed"
[ "$scan_version" = "stereolux-scan $version" ] || fail "stereolux-scan --version: $scan_version"
for page in stereolux stereolux-scan; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH ${page^^} 1 .*Stereolux $version" ||
    fail "man page $page lacks its title line with the version"
done

desktop-file-validate "$root/usr/share/applications/org.stereolux.Stereolux.desktop" ||
  fail "desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.stereolux.Stereolux.metainfo.xml" ||
  fail "metainfo"

if command -v lintian >/dev/null; then
  echo "lintian findings:"
  lintian --tag-display-limit 0 "$deb" | tee "$work/lintian.log" || true
  ! grep -q '^E:' "$work/lintian.log" || fail "lintian reports errors"
else
  echo "lintian is not installed: not run"
fi

[ $status -eq 0 ] && echo "package $(basename "$deb") checked"
exit $status
