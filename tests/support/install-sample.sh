#!/bin/sh
# cmake --install of the sample node from a source tree in which the sample
# has been used: only the committed files of the node are installed, in
# share/ and in /etc/brenmoor, and no directory a run made.
#   install-sample.sh SOURCE-DIR
set -eu
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree
mkdir "$tree"
cp -a "$source/CMakeLists.txt" "$source/src" "$source/lang" "$source/examples" "$source/doc" "$source/dist" "$tree/"
# What a toss, a scan and an editor leave in the sample node.
node=$tree/examples/node
for dir in in out tmp bad pass dupes flags netmail boxes data announce files/fido; do mkdir -p "$node/$dir"; done
mkdir -p "$node/log"
echo "07 Dec 26 10:00:00 Brenmoor run" > "$node/log/brenmoor.log"
printf 'dupes' > "$node/data/brenmoor.dup"
cp "$node/areas.ctl" "$node/areas.old"
cp "$node/tpl/help.txt" "$node/tpl/help.txt~"

cmake -S "$tree" -B "$work/build" -DBUILD_TESTING=OFF -DBRENMOOR_INSTALL_SYSTEM=ON >"$work/configure.log" 2>&1 \
  || { cat "$work/configure.log"; exit 1; }
DESTDIR=$work/dest cmake --install "$work/build" --prefix /usr --component sample-node >/dev/null

# Every file and empty directory installed, as paths under the node.
installed() { (cd "$1" && find . \( -type f -o -type d -empty \) | sed 's|^\./||' | LC_ALL=C sort); }
installed "$work/dest/usr/share/brenmoor/examples/node" > "$work/share"
installed "$work/dest/etc/brenmoor" > "$work/etc"
status=0
for stray in in out tmp bad log/brenmoor.log data/brenmoor.dup areas.old tpl/help.txt~; do
  if grep -qx "$stray" "$work/share" "$work/etc"; then echo "installed what a run left: $stray"; status=1; fi
done
for f in BRENMOOR.CTL brenmoor.lng tpl/help.txt lists/fido.na sample/inbound/NEWS0001.TIC; do
  grep -qx "$f" "$work/share" || { echo "not installed: $f"; status=1; }
done
[ ! -L "$work/dest/usr/share/brenmoor/examples/node/brenmoor.lng" ] || { echo "the sample's language file is a link"; status=1; }
# In a git checkout the list of CMakeLists.txt is the list of tracked files.
if git -C "$source" ls-files --error-unmatch examples/node/BRENMOOR.CTL >/dev/null 2>&1; then
  git -C "$source" ls-files examples/node | sed 's|^examples/node/||' | grep -vx '.gitignore' | LC_ALL=C sort > "$work/tracked"
  grep -E '^(lists|tpl)/' "$work/tracked" > "$work/tracked-etc" || true
  diff -u "$work/tracked" "$work/share" || { echo "share/: installed files differ from the tracked ones (the lists in CMakeLists.txt)"; status=1; }
  diff -u "$work/tracked-etc" "$work/etc" || { echo "/etc/brenmoor: installed files differ from the tracked ones"; status=1; }
fi
[ "$status" -eq 0 ] && echo "install-sample: ok"
exit "$status"
