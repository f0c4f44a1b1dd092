#!/usr/bin/env bash
# The Debian package: cpack builds it in the build directory, dpkg -x unpacks
# it into a temporary root, and the unpacked strata-render renders a few
# frames of the unpacked stage, made read-only, through EGL.
#   install-deb.sh <build dir> <work dir>
set -uo pipefail
build="$1" work="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
fail() { echo "FAIL: $*" >&2; exit 1; }
# The unpacked stage is made read-only below: writable again on every exit.
[ -d "$work" ] && chmod -R u+w "$work"
rm -rf "$work" && mkdir -p "$work"
trap 'chmod -R u+w "$work"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(tail -20 "$work/cpack.log")"
deb="$(ls "$work"/out/strata_*.deb 2>/dev/null | head -1)"
[ -f "$deb" ] || fail "cpack wrote no strata_*.deb"

# dpkg-shlibdeps found the libraries the programs link.
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libasound2 libsndfile1 libsamplerate0 libpng16 libegl1 libgl1-mesa-dri; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

root="$work/root"
dpkg -x "$deb" "$root" || fail "dpkg -x failed"
for file in bin/strata bin/strata-render bin/strata-stage share/strata/stage/modules.db share/strata/stage/key.db \
  share/man/man1/strata.1.gz share/man/man1/strata-render.1.gz share/man/man1/strata-stage.1.gz \
  share/applications/strata.desktop share/doc/strata/copyright share/doc/strata/changelog.gz \
  share/doc/strata/README.md share/doc/strata/doc/architecture.md share/doc/strata/doc/overlay.png; do
  [ -e "$root/usr/$file" ] || fail "the package lacks /usr/$file"
done
diff -r "$here/../../stage" "$root/usr/share/strata/stage" >/dev/null ||
  fail "the installed stage differs from stage/"
sh -n "$root/usr/bin/strata-stage" || fail "strata-stage is not a valid script"
stage_from_bin="$(sed -n 's/^cd "\$bindir\/\(.*\)" || exit 1$/\1/p' "$root/usr/bin/strata-stage")"
[ -f "$root/usr/bin/$stage_from_bin/modules.db" ] || fail "strata-stage does not lead to the stage ($stage_from_bin)"

# A run from the installed, read-only stage writes nothing into it.
chmod -R a-w "$root/usr/share/strata/stage"
before="$(ls -lR --time-style=full-iso "$root/usr/share/strata/stage")"
LIBGL_ALWAYS_SOFTWARE=1 "$root/usr/bin/strata-render" "$root/usr/share/strata/stage" --frames 4 --png-frames 3 \
  --out "$work/png" --quiet 2>"$work/render.txt" ||
  fail "the installed strata-render exits with $?: $(tail -3 "$work/render.txt")"
[ "$(head -c 8 "$work/png/frame-000003.png" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "the installed strata-render wrote no PNG of frame 3"
[ "$before" = "$(ls -lR --time-style=full-iso "$root/usr/share/strata/stage")" ] || fail "the run changed the stage"
echo "package: $(basename "$deb") installs and renders"
