#!/usr/bin/env bash
# Makes the Debian package and checks it without installing it: the files it
# holds, its desktop entry, lintian's verdict (errors fail; warnings are
# printed), and the manual page's rendering.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(bash scripts/package.sh | tail -n 1)
echo "check-package: $deb"
contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
missing=0
for path in ./usr/bin/skarvel ./usr/bin/skarvel-batch \
  ./usr/share/skarvel/SkarvelHelp/Skarvel_01.html ./usr/share/skarvel/SkarvelHelp/images/fov_window.png \
  ./usr/share/applications/skarvel.desktop \
  ./usr/share/icons/hicolor/32x32/apps/skarvel.png ./usr/share/icons/hicolor/256x256/apps/skarvel.png \
  ./usr/share/man/man1/skarvel-batch.1.gz ./usr/share/man/man1/skarvel.1.gz \
  ./usr/share/doc/skarvel/copyright ./usr/share/doc/skarvel/changelog.gz; do
  if ! grep -qxF "$path" <<<"$contents"; then
    echo "check-package: the package lacks $path" >&2
    missing=1
  fi
done
[ "$missing" -eq 0 ] || exit 1
echo "check-package: every file is in the package"
depends=$(dpkg-deb --field "$deb" Depends)
echo "check-package: Depends: $depends"
grep -q "libqt6widgets6" <<<"$depends" || { echo "check-package: no Qt dependency computed" >&2; exit 1; }
# The photograph readers' libraries.
for lib in libjpeg62-turbo libpng16-16 libtiff6; do
  grep -q "$lib" <<<"$depends" || { echo "check-package: no $lib dependency computed" >&2; exit 1; }
done

desktop-file-validate packaging/skarvel.desktop
echo "check-package: the desktop entry is valid"

report=$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)
[ -z "$report" ] || printf '%s\n' "$report"
if grep -q '^E:' <<<"$report"; then
  echo "check-package: lintian reports errors" >&2
  exit 1
fi
echo "check-package: lintian reports no error"
man -l packaging/skarvel-batch.1 >/dev/null
echo "check-package: the manual page renders"
