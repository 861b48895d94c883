#!/usr/bin/env bash
# Fetches Debian's own hidapi source package into DEST (unpacked as
# DEST/hidapi), for building HIDAPI's Windows backend. It uses a private
# source list made from this machine's Debian archives, so the machine's
# apt setup is left as it is.
set -euo pipefail
dest=$(mkdir -p "${1:?usage: fetch-hidapi-source.sh DEST}" && cd "$1" && pwd)
[ -f "$dest/hidapi/CMakeLists.txt" ] && exit 0

state=$dest/apt-state
mkdir -p "$state/lists/partial"

# Every "deb" archive the machine uses, as a "deb-src" line.
{
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] && sed -n 's/^deb \(.*\)$/deb-src \1/p' "$file"
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && uris != "" && enabled != "no") {
          n = split(suites, s, " ")
          for (i = 1; i <= n; i++)
            printf "deb-src %s%s %s %s\n", (signed != "" ? "[signed-by=" signed "] " : ""), uris, s[i], components
        }
        types = uris = suites = components = signed = enabled = ""
      }
      /^[ \t]*$/ { flush(); next }
      /^#/ { next }
      { key = $1; sub(/:$/, "", key); $1 = ""; sub(/^ /, "") }
      key == "Types" { types = $0 } key == "URIs" { uris = $0 } key == "Suites" { suites = $0 }
      key == "Components" { components = $0 } key == "Signed-By" { signed = $0 }
      key == "Enabled" { enabled = $0 }
      END { flush() }' "$file"
  done
} >"$state/sources.list"

apt_options=(-o "Dir::Etc::SourceList=$state/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
             -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache")
mkdir -p "$state/cache/archives/partial"
apt-get "${apt_options[@]}" update -qq
work=$dest/download
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && apt-get "${apt_options[@]}" source -qq hidapi)
rm -rf "$dest/hidapi"
mv "$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'hidapi-*' | head -n 1)" "$dest/hidapi"
rm -rf "$work"
