#!/usr/bin/env bash
# usage: install_tree_test.sh BUILD_DIR WINDOW(0|1)
# Installs BUILD_DIR into a temporary prefix and checks the tree; then builds
# the .deb with cpack, checks its contents, installs it into a throw-away root
# with dpkg and removes it again.
set -uo pipefail
build=$1
window=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

app=org.korvale.Korvale
# path relative to the prefix | needed with the window only (1) or always (0)
expected=(
  "bin/korvalectl|0"
  "bin/korvale-emu|0"
  "share/man/man1/korvalectl.1|0"
  "share/man/man1/korvale-emu.1|0"
  "share/doc/korvale/korvalectl.schema.json|0"
  "lib/udev/rules.d/70-korvale.rules|0"
  "share/korvale/Language|0"
  "bin/korvale|1"
  "share/man/man1/korvale.1|1"
  "share/applications/$app.desktop|1"
  "share/metainfo/$app.metainfo.xml|1"
  "etc/xdg/autostart/$app.desktop|1"
  "share/icons/hicolor/scalable/apps/$app.svg|1"
  "share/korvale/skin|1"
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$app.png|1")
done
# developer tools and sources that must stay out
absent=(bin/korvale-skinview share/korvale/skin/images/make_images.py
        share/korvale/skin/common/device_ico/make_icons.py share/korvale/udev)

check_tree() {  # ROOT PREFIX_IN_ROOT ETC_IN_ROOT
  local root=$1 prefix=$2 etc=$3 entry path needs
  for entry in "${expected[@]}"; do
    path=${entry%|*}
    needs=${entry#*|}
    [ "$needs" = 1 ] && [ "$window" = 0 ] && continue
    case $path in
      etc/*) path="$etc/${path#etc/}" ;;
      *) path="$prefix/$path" ;;
    esac
    [ -e "$root$path" ] || fail "missing $path"
  done
  for path in "${absent[@]}"; do
    [ -e "$root$prefix/$path" ] && fail "installed though it should not be: $prefix/$path"
  done
  # stripped: no symbol table left in any program
  local exe
  for exe in "$root$prefix"/bin/*; do
    if readelf -S "$exe" | grep -q '\.symtab'; then fail "not stripped: $exe"; fi
  done
}

# 1. cmake --install into a temporary prefix
prefix=$work/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  fail "cmake --install failed"
fi
check_tree "" "$prefix" "$prefix/etc"
if [ "$window" = 1 ]; then
  for f in "$prefix/share/applications/$app.desktop" "$prefix/etc/xdg/autostart/$app.desktop"; do
    desktop-file-validate "$f" || fail "desktop-file-validate refuses $f"
  done
  grep -qx 'Exec=korvale --hidden' "$prefix/etc/xdg/autostart/$app.desktop" ||
    fail "the autostart entry does not start korvale hidden"
  grep -qx "Icon=$app" "$prefix/share/applications/$app.desktop" || fail "the menu entry names another icon"
  appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" || fail "appstreamcli refuses the metainfo"
  # every PNG is the size its folder says
  for png in "$prefix"/share/icons/hicolor/*x*/apps/$app.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    actual=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$png")
    [ "$actual" = "$size" ] || fail "$png is $actual"
  done
fi
# every installed program has its man page
for exe in "$prefix"/bin/*; do
  [ -f "$prefix/share/man/man1/$(basename "$exe").1" ] || fail "no man page for $(basename "$exe")"
done
for page in "$prefix"/share/man/man1/*.1; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>&1 >/dev/null) || fail "man cannot read $page"
  grep -q '^\.SH SEE ALSO' "$page" || fail "$page has no SEE ALSO"
  [ -z "$out" ] || echo "note: $page: $out"
done
[ $failures -eq 0 ] && ok "installed tree"

# 2. the .deb
before=$failures
(cd "$work" && cpack -G DEB -B "$work/pkg" --config "$build/CPackConfig.cmake") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/pkg/*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  fail "cpack made no .deb"
else
  dpkg-deb --contents "$deb" >"$work/contents" || fail "dpkg-deb cannot read $deb"
  extract=$work/extract
  dpkg-deb -x "$deb" "$extract" || fail "dpkg-deb cannot extract $deb"
  check_tree "$extract" /usr /etc
  # the listing agrees with what was extracted
  grep -q "\./usr/bin/korvalectl$" "$work/contents" || fail "dpkg-deb --contents does not list korvalectl"
  if [ "$window" = 1 ]; then
    dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx "/etc/xdg/autostart/$app.desktop" ||
      fail "the autostart entry is not a conffile"
  fi
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libjsoncpp libudev libtinyxml2; do
    [[ $depends == *$lib* ]] || fail "Depends lacks $lib: $depends"
  done

  # install into a throw-away root and remove again: nothing of ours stays
  root=$work/root
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  touch "$root/var/lib/dpkg/status"
  dpkgr=(dpkg --root="$root" --force-not-root --force-depends --force-script-chrootless --log=/dev/null)
  if "${dpkgr[@]}" -i "$deb" >"$work/dpkg.log" 2>&1; then
    check_tree "$root" /usr /etc
    [ "$(dpkg-query --root="$root" -W -f='${Status}' korvale)" = "install ok installed" ] ||
      fail "dpkg does not call korvale installed"
    "${dpkgr[@]}" --purge korvale >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg --purge failed"; }
    left=$(cd "$root" && find . -path ./var -prune -o ! -type d -print)
    [ -z "$left" ] || fail "left behind after purge: $left"
  else
    cat "$work/dpkg.log"
    fail "dpkg -i failed"
  fi
fi
[ $failures -eq $before ] && ok "the .deb"

[ $failures -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
