#!/bin/sh
# Writes the manual page of kvxw from its own help: help2man reads 'kvxw --help' and
# 'kvxw --version', and every command's 'kvxw COMMAND --help' becomes a subsection of COMMANDS,
# so the page lists every command and cannot drift from the program.
# usage: make_manpage.sh KVXW OUT.1
# (kvxwriter's page is help2man's straight from 'kvxwriter --help'.)
set -eu
kvxw=$1
out=$2
include=$out.include

{
  echo "[NAME]"
  echo "kvxw \\- the command-line tool of KVX Writer, a device programmer"
  echo "[COMMANDS]"
  "$kvxw" --help | sed -n '/^commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }' |
    while read -r command; do
      echo ".SS $command"
      echo ".nf"
      # roff: a backslash is written twice, a line starting with a dot or a quote is escaped.
      "$kvxw" "$command" --help | sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
      echo ".fi"
    done
  echo "[SEE ALSO]"
  echo "kvxwriter(1)"
} > "$include"

# The version line alone: the rest of --version (commit, SQLite) would end up in the text.
version=$("$kvxw" --version | sed -n '1s/^[^ ]* //p')
help2man --no-info --section=1 --version-string="$version" --include="$include" --output="$out" \
  "$kvxw"
rm -f "$include"
