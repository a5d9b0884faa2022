#!/usr/bin/env bash
# Builds the Debian package from the build tree $1 and checks it the way a user's machine would use it:
# installed by dpkg into a scratch root, validated, started from there, removed without leftovers.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# 1. The package.
(cd "$build" && cpack -G DEB -B "$work/out" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/vestra_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no vestra_*.deb was written"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for need in libqt6widgets6 libssl3 libsqlite3-0 qt6-qpa-plugins libqt6svg6 libc6; do
  grep -q "$need" <<<"$depends" || fail "the package does not declare $need"
done

# 2. Installed into a scratch root with its own dpkg database.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
dpkg --root="$root" --log=/dev/null --force-depends --force-script-chrootless -i "$deb" > "$work/dpkg.log" 2>&1 \
  || { cat "$work/dpkg.log"; fail "dpkg -i"; }
for f in usr/bin/vestra usr/bin/vestra-sql usr/bin/vestra-emu usr/share/vestra/vestra.qch \
         usr/share/vestra/Report/first.bnx usr/share/vestra/Report/lastq.bnx \
         usr/share/applications/de.tessaron.Vestra.desktop usr/share/metainfo/de.tessaron.Vestra.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/de.tessaron.Vestra.svg \
         usr/share/man/man1/vestra.1.gz usr/share/man/man1/vestra-sql.1.gz usr/share/man/man1/vestra-emu.1.gz; do
  [ -e "$root/$f" ] || fail "not installed: /$f"
done

# 3. The desktop entry and the metainfo are valid.
desktop-file-validate "$root/usr/share/applications/de.tessaron.Vestra.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/de.tessaron.Vestra.metainfo.xml" || fail "metainfo"

# 4. The installed programs start from there, with a fresh home.
export HOME=$work/home XDG_DATA_HOME= XDG_CONFIG_HOME=
mkdir -p "$HOME"
out=$("$root/usr/bin/vestra-sql" --demo --format tsv -e "select ename from scott.emp where empno = 7839" 2>&1) \
  || { echo "$out"; fail "vestra-sql --demo"; }
grep -q '^KING' <<<"$out" || { echo "$out"; fail "vestra-sql --demo did not show KING"; }
out=$(QT_QPA_PLATFORM=offscreen VESTRA_EXIT_AT_CONNECT_FORM=1 timeout 60 "$root/usr/bin/vestra" 2>&1) \
  || { echo "$out"; fail "vestra did not reach its connect dialog"; }
grep -q "connect form shown" <<<"$out" || { echo "$out"; fail "vestra did not show the connect dialog"; }

# 5. Removed, it leaves no file behind.
dpkg --root="$root" --log=/dev/null --force-depends --force-script-chrootless -r vestra > "$work/dpkg-r.log" 2>&1 \
  || { cat "$work/dpkg-r.log"; fail "dpkg -r"; }
left=$( (find "$root/usr" -type f 2>/dev/null || true) | head -n 5)
[ -z "$left" ] || fail "files left after removal: $left"
echo "1 passed, 0 failed"
