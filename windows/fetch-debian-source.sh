#!/usr/bin/env bash
# Fetches one of Debian's source packages into DEST (unpacked as
# DEST/PACKAGE), for what the Windows build compiles from source: HIDAPI's
# Windows backend, and the HTTP library of the Alpaca server. It uses a
# private source list made from this machine's Debian archives, so the
# machine's apt setup is left as it is.
#   fetch-debian-source.sh PACKAGE DEST
set -euo pipefail
package=${1:?usage: fetch-debian-source.sh PACKAGE DEST}
dest=$(mkdir -p "${2:?usage: fetch-debian-source.sh PACKAGE DEST}" && cd "$2" && pwd)
[ -f "$dest/$package/.fetched" ] && exit 0

state=$dest/apt-state-$package
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
# A mirror being synced fails an index now and then.
for attempt in 1 2 3; do
  apt-get "${apt_options[@]}" update -qq && break
  [ "$attempt" = 3 ] && exit 1
  sleep 10
done
work=$dest/download-$package
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && apt-get "${apt_options[@]}" source -qq "$package")
rm -rf "${dest:?}/$package"
mv "$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -n 1)" "$dest/$package"
rm -rf "$work"
touch "$dest/$package/.fetched"
