#!/usr/bin/env bash
# The program as a desktop installs it.
#   check_install.sh install BUILD ID       cmake --install into a temporary
#     prefix: the files where the desktop looks, one application id for all,
#     and both validators content.
#   check_install.sh package SRC BUILD ID   scripts/package on BUILD, unpacked
#     with dpkg-deb -x: the same files under /usr, the libraries found by
#     dpkg-shlibdeps, and the unpacked program starts. Skipped (77) without
#     dpkg-deb.
set -euo pipefail
MODE=$1
shift
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The files of one application id under a prefix.
check_layout() {
  local prefix=$1 id=$2
  local share=$prefix/share
  local f
  for f in "$prefix/bin/vorndale" "$share/applications/$id.desktop" "$share/metainfo/$id.metainfo.xml" \
    "$share/icons/hicolor/scalable/apps/$id.svg" "$share/icons/hicolor/48x48/apps/$id.png" \
    "$share/icons/hicolor/128x128/apps/$id.png" "$share/icons/hicolor/256x256/apps/$id.png" \
    "$share/man/man1/vorndale.1"; do
    [ -s "$f" ] || fail "missing: ${f#"$prefix"/}"
  done
  [ -x "$prefix/bin/vorndale" ] || fail "bin/vorndale is not executable"
  local entry=$share/applications/$id.desktop
  grep -qx "Icon=$id" "$entry" || fail "the desktop entry's Icon is not $id"
  grep -qx 'Exec=vorndale %f' "$entry" || fail "the desktop entry's Exec"
  grep -qx 'MimeType=inode/directory;' "$entry" || fail "the desktop entry's MimeType"
  grep -q "<id>$id</id>" "$share/metainfo/$id.metainfo.xml" || fail "the metainfo's id is not $id"
  # 48 px is 48 px: a PNG's width and height are the big-endian words at 16 and 20.
  [ "$(od -An -tx1 -j16 -N8 "$share/icons/hicolor/48x48/apps/$id.png" | tr -d ' \n')" = 0000003000000030 ] ||
    fail "the 48 px icon is not 48 x 48"
}

case $MODE in
install)
  BUILD=$1 ID=$2
  cmake --install "$BUILD" --prefix "$TMP/prefix" >/dev/null
  check_layout "$TMP/prefix" "$ID"
  desktop-file-validate "$TMP/prefix/share/applications/$ID.desktop"
  appstreamcli validate --no-net "$TMP/prefix/share/metainfo/$ID.metainfo.xml"
  # The tree as a whole: the metainfo's launchable names an installed entry.
  appstreamcli validate-tree --no-net "$TMP/prefix"
  ;;
package)
  SRC=$1 BUILD=$2 ID=$3
  if ! command -v dpkg-deb >/dev/null; then
    echo "dpkg-deb is not installed: skipped"
    exit 77
  fi
  BUILD_DIR=$BUILD "$SRC/scripts/package" "$TMP/out" >/dev/null
  DEB=$TMP/out/vorndale_1.0_$(dpkg --print-architecture).deb
  [ -f "$DEB" ] || fail "no $(basename "$DEB"): $(ls "$TMP/out")"
  dpkg-deb -x "$DEB" "$TMP/root"
  check_layout "$TMP/root/usr" "$ID"
  depends=$(dpkg-deb -f "$DEB" Depends)
  for lib in libc6 libqt6core6 libqt6widgets6; do
    [[ $depends == *"$lib "* ]] || fail "Depends lacks $lib: $depends"
  done
  version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$TMP/root/usr/bin/vorndale" --version)
  [ "$version" = "Vorndale 1.0" ] || fail "the unpacked program says: $version"
  ;;
*)
  fail "unknown mode $MODE"
  ;;
esac
echo "ok"
