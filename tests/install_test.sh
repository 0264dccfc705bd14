#!/usr/bin/env bash
# SPDX-FileCopyrightText: The Bidwarden authors
# SPDX-License-Identifier: MIT
# scripts/install into a throwaway HOME with an already-built executable: the files land where
# the desktop looks for them, an upgrade and an uninstall leave the user's list alone.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: install_test.sh /path/to/built/bidwarden" >&2; exit 2; }
built=$1
root=$(cd "$(dirname "$0")/.." && pwd)
HOME=$(mktemp -d)
export HOME BIDWARDEN_INSTALL_EXE=$built
unset XDG_DATA_HOME
trap 'rm -rf "$HOME"' EXIT
share=$HOME/.local/share
app=$share/bidwarden

fail() { echo "FAIL: $*" >&2; exit 1; }

"$root/scripts/install" >/dev/null
[ -x "$app/bidwarden" ] || fail "program not in $app"
cmp -s "$built" "$app/bidwarden" || fail "program in $app is not the one built"
[ "$(readlink -f "$HOME/.local/bin/bidwarden")" = "$app/bidwarden" ] || fail "no link in .local/bin"
desktop-file-validate "$share/applications/bidwarden.desktop" || fail "launcher does not validate"
grep -qx "Exec=$app/bidwarden" "$share/applications/bidwarden.desktop" || fail "launcher's Exec"
for size in 16 32 48 256; do
    cmp -s "$root/src/app/images/bidwarden-$size.png" "$share/icons/hicolor/${size}x$size/apps/bidwarden.png" ||
        fail "icon $size"
done

# The user's list, page files and backups, as the program would have left them.
mkdir -p "$app/backups"
for f in bidders.mdb naru.htm response.htm response2.htm backups/bidders-20260512-120117.mdb; do
    head -c 4096 /dev/urandom >"$app/$f"
done
cp -a "$app" "$HOME/before"
"$root/scripts/install" >/dev/null
diff -r --exclude=bidwarden "$HOME/before" "$app" || fail "an upgrade changed the user's files"

out=$("$root/scripts/install" --uninstall)
[[ $out == *"$app"* ]] || fail "uninstall does not say where the list is: $out"
[ ! -e "$app/bidwarden" ] || fail "program left behind"
[ ! -L "$HOME/.local/bin/bidwarden" ] || fail "link left behind"
[ ! -e "$share/applications/bidwarden.desktop" ] || fail "launcher left behind"
[ -z "$(find "$share/icons" -name bidwarden.png)" ] || fail "icons left behind"
diff -r --exclude=bidwarden "$HOME/before" "$app" || fail "uninstall changed the user's files"
[ "$(stat -c %a "$app")" = 700 ] || fail "the program's folder is open to others"

# A home whose name holds characters the launcher's Exec must quote: the launcher still starts
# the program installed there.
odd="$HOME/it's \"b&w\" (50) \$x; \`y\` \\z"
fake=$HOME/fake-bidwarden
mkdir -p "$odd"
printf '#!/bin/sh\necho "$0" >"%s/launched"\n' "$HOME" >"$fake"
chmod 755 "$fake"
HOME=$odd BIDWARDEN_INSTALL_EXE=$fake "$root/scripts/install" >/dev/null
launcher=$odd/.local/share/applications/bidwarden.desktop
desktop-file-validate "$launcher" || fail "launcher for $odd does not validate"
HOME=$odd gio launch "$launcher" || fail "gio cannot start the launcher"
for _ in $(seq 50); do [ -s "$HOME/launched" ] && break; sleep 0.1; done
[ "$(cat "$HOME/launched" 2>/dev/null)" = "$odd/.local/share/bidwarden/bidwarden" ] ||
    fail "the launcher in $odd started $(cat "$HOME/launched" 2>/dev/null)"
# A control character in the folder's name would break the launcher's line: refused, with
# nothing installed.
for c in $'\r' $'\t' $'\n' $'\e'; do
    bad="$HOME/bad${c}home"
    mkdir -p "$bad"
    if HOME=$bad BIDWARDEN_INSTALL_EXE=$fake "$root/scripts/install" >/dev/null 2>"$HOME/refused"; then
        fail "installed under $(printf %q "$bad")"
    fi
    grep -q "control character" "$HOME/refused" || fail "the refusal says: $(cat "$HOME/refused")"
    [ -z "$(ls -A "$bad")" ] || fail "files left under $(printf %q "$bad")"
done
echo "install: PASS"
