#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what a desktop needs of it: the programs (vemla-decode
# finding its build with the sound devices), the desktop entry, the icon, the AppStream metadata and the help
# pages in their places, the entry passing desktop-file-validate and the metadata appstreamcli. Exit 77
# (skipped) when a validator is missing.
#
#   tests/install_check.sh BUILD_FOLDER
set -euo pipefail
build=${1:?build folder}
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "install_check: $tool is missing; skipped"; exit 77; }
done
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

failed=0
for file in bin/vemla bin/vemla-decode bin/vemla-library share/applications/vemla.desktop \
            share/icons/hicolor/scalable/apps/vemla.svg share/metainfo/org.korvane.vemla.metainfo.xml \
            share/doc/vemla/README.md; do
  [ -e "$prefix/$file" ] || { echo "install_check: $file was not installed"; failed=1; }
done
for program in vemla vemla-decode vemla-library; do
  [ -x "$prefix/bin/$program" ] || { echo "install_check: $program cannot be run"; failed=1; }
done
if [ -d "$(dirname "$0")/../../ui/help" ] && ! ls "$prefix"/share/doc/vemla/help/*.html >/dev/null 2>&1; then
  echo "install_check: the help pages were not installed"; failed=1
fi

desktop-file-validate "$prefix/share/applications/vemla.desktop" || failed=1
appstreamcli validate --no-net "$prefix/share/metainfo/org.korvane.vemla.metainfo.xml" || failed=1
# The entry names the icon and the program that were installed.
grep -qx 'Icon=vemla' "$prefix/share/applications/vemla.desktop" || { echo "install_check: icon name"; failed=1; }
grep -q '^Exec=vemla ' "$prefix/share/applications/vemla.desktop" || { echo "install_check: Exec"; failed=1; }
grep -q '<launchable type="desktop-id">vemla.desktop</launchable>' \
  "$prefix/share/metainfo/org.korvane.vemla.metainfo.xml" || { echo "install_check: launchable"; failed=1; }
# The installed program is the one the build made, and answers.
[ "$("$prefix/bin/vemla" --version)" = "vemla $(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")" ] ||
  { echo "install_check: vemla --version"; failed=1; }

# vemla-decode hands --play to the build with the sound devices, installed in libexec: that one answers (here
# that the file is missing), not vemla-decode saying that it cannot find it.
answer=$("$prefix/bin/vemla-decode" --play --device null "$prefix/no-such-file.mp3" 2>&1 || true)
case "$answer" in
  *no-such-file.mp3*) ;;
  *) echo "install_check: vemla-decode --play: $answer"; failed=1 ;;
esac

[ $failed -eq 0 ] && echo "install_check: installed and valid"
exit $failed
