#!/bin/sh
# cmake --install into a scratch prefix: the files land where packages put
# them, and the installed binary runs from there on its own.
#   install.sh BUILD-DIR
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/brenmoor share/brenmoor/brenmoor.lng share/brenmoor/russian.lng share/man/man1/brenmoor.1 \
         share/man/man5/brenmoor.ctl.5 share/man/man5/brenmoor-files.5 share/bash-completion/completions/brenmoor \
         share/brenmoor/examples/node/BRENMOOR.CTL share/brenmoor/examples/node/brenmoor.lng \
         share/brenmoor/examples/node/tpl/help.txt; do
  [ -f "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
[ ! -L "$prefix/share/brenmoor/examples/node/brenmoor.lng" ] || { echo "the sample's language file is a link"; exit 1; }
cd "$prefix"
# Neither needs a control file; the language file, with the usage text,
# comes from share/.
env -u BRENMOOR_DIR "$prefix/bin/brenmoor" --version | grep -q '^Brenmoor version' || { echo "--version"; exit 1; }
env -u BRENMOOR_DIR "$prefix/bin/brenmoor" --help | grep -q '^toss --bad' || { echo "--help"; exit 1; }
out=$(env -u BRENMOOR_DIR "$prefix/bin/brenmoor" 2>&1) || { echo "no command: $out"; exit 1; }
echo "$out" | grep -q 'No command given' || { echo "no command without the language file: $out"; exit 1; }
# The installed sample node is complete.
node=$(mktemp -d)
trap 'rm -rf "$prefix" "$node"' EXIT
cp -r "$prefix/share/brenmoor/examples/node/." "$node/"
out=$(BRENMOOR_DIR="$node" "$prefix/bin/brenmoor" check 2>&1) || { echo "check of the installed sample: $out"; exit 1; }
echo "install: ok"
