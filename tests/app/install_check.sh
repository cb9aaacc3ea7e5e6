#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks that a desktop finds the program there:
#   install_check.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
prefix=$2/prefix
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

status=0
for f in bin/stereolux \
         share/applications/org.stereolux.Stereolux.desktop \
         share/metainfo/org.stereolux.Stereolux.metainfo.xml \
         share/icons/hicolor/scalable/apps/stereolux.svg \
         share/doc/stereolux/a_lire.txt; do
  [ -s "$prefix/$f" ] || { echo "missing: $f"; status=1; }
done
[ -x "$prefix/bin/stereolux" ] || { echo "not executable: bin/stereolux"; status=1; }

desktop=$prefix/share/applications/org.stereolux.Stereolux.desktop
grep -qx 'Categories=AudioVideo;Audio;' "$desktop" || { echo "wrong categories"; status=1; }
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -s "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || { echo "no icon named $icon"; status=1; }
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$prefix/bin/$exec_name" ] || { echo "Exec=$exec_name is not the installed program"; status=1; }

desktop-file-validate "$desktop" || status=1
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/org.stereolux.Stereolux.metainfo.xml" || status=1
exit $status
