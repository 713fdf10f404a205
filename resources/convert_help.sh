#!/bin/sh
# Stores the help text as the program shows it: code page 932 with CR LF line
# ends, from the UTF-8 source with LF line ends.
# Usage: convert_help.sh SOURCE OUTPUT
set -e
tmp="$2.tmp"
sed 's/$/\r/' "$1" | iconv -f UTF-8 -t CP932 > "$tmp"
mv "$tmp" "$2"
