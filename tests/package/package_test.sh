#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks what it holds and
# what it depends on. Usage: package_test.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
out="$build/package-test"
rm -rf "$out"
mkdir -p "$out"
fail() {
  echo "package_test: $*" >&2
  exit 1
}

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || {
  cat "$out/cpack.log" >&2
  fail "cpack failed"
}
debs=("$out"/panora_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one panora_*.deb in $out"
deb="${debs[0]}"

# The files, exactly: anything missing or extra fails.
expected="$out/expected.txt"
{
  printf '%s\n' /usr/bin/panora /usr/bin/panora-sim /usr/bin/panora-ctl
  for n in 1 2 3 4; do echo "/usr/share/panora/view$n.png"; done
  echo /usr/share/applications/panora.desktop
  for s in 16 24 32 48 64 128 256; do echo "/usr/share/icons/hicolor/${s}x${s}/apps/panora.png"; done
  for p in panora panora-sim panora-ctl; do echo "/usr/share/man/man1/$p.1.gz"; done
  printf '%s\n' /usr/share/doc/panora/README.md /usr/share/doc/panora/protocol.md /usr/share/doc/panora/remote.md \
    /usr/share/doc/panora/copyright
} | sort >"$expected"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|' | sort >"$out/files.txt"
diff -u "$expected" "$out/files.txt" || fail "the file list differs (- expected, + packaged)"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = panora ] || fail "package name $(field Package)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture $(field Architecture)"
depends="$(field Depends)"
names="$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/^ *//; s/ *$//')"
for need in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 hicolor-icon-theme \
  fonts-wqy-microhei; do
  grep -Fxq "$need" <<<"$names" || fail "Depends lacks $need: $depends"
done
# Nothing the build alone needs.
for dev in qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev g++ cmake; do
  ! grep -Fxq "$dev" <<<"$names" || fail "Depends has the build tool $dev"
done

# The unpacked programs: stripped, and the manuals carry every option of --help.
root="$out/root"
dpkg-deb -x "$deb" "$root"
for p in panora panora-sim panora-ctl; do
  if readelf -S "$root/usr/bin/$p" | grep -q '\.debug_info'; then fail "$p is not stripped"; fi
  page="$(zcat "$root/usr/share/man/man1/$p.1.gz" | sed 's/\\-/-/g; s/\\f[BIR]//g')"
  grep -q "^\.SH NAME" <<<"$page" || fail "$p.1 has no NAME"
  for opt in $(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$p" --help 2>&1 | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    grep -q -- "$opt" <<<"$page" || fail "$p.1 lacks $opt, which --help names"
  done
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/panora.desktop" || fail "desktop entry"
fi
grep -q '^Exec=panora$' "$root/usr/share/applications/panora.desktop" || fail "desktop entry Exec"

echo "package_test: $(basename "$deb"), $(du -k "$deb" | cut -f1) KB, Depends: $depends"
