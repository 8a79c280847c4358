#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds the Debian package, then checks
# that every file is where desktops, man and the program look for it.
set -euo pipefail
build="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/usr" >/dev/null
for f in bin/inkwerk share/inkwerk/inkwerk.rtf share/applications/inkwerk.desktop \
         share/icons/hicolor/scalable/apps/inkwerk.svg share/man/man1/inkwerk.1; do
  [ -f "$tmp/usr/$f" ] || { echo "not installed: $f"; exit 1; }
done
"$tmp/usr/bin/inkwerk" --version | grep -qx 'Inkwerk 1.0.3'
grep -q '^MimeType=.*image/jpeg' "$tmp/usr/share/applications/inkwerk.desktop"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$tmp/usr/share/applications/inkwerk.desktop"
fi

(cd "$tmp" && cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >/dev/null)
deb="$(ls "$tmp"/pkg/*.deb)"
dpkg-deb --info "$deb" | grep 'Package: inkwerk' >/dev/null
dpkg-deb --info "$deb" | grep 'Depends: .*libqt6widgets6' >/dev/null
dpkg-deb --contents "$deb" | grep './usr/bin/inkwerk$' >/dev/null
echo "install and package: ok"
