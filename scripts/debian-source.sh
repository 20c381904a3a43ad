#!/usr/bin/env bash
# Unpacks the Debian source package of a library that the Windows builds
# compile themselves, at the version pinned below, and prints its folder.
#
#   scripts/debian-source.sh PACKAGE [DEPS_FOLDER]      (default: build/deps)
#
# The first call fetches the package with apt-get from Debian's archive,
# through a deb-src list of its own under DEPS_FOLDER/apt (the system's apt
# sources stay as they are), checks the .dsc against the SHA-256 pinned here
# (apt has checked it against the signed index already) and unpacks it with
# dpkg-source, which checks every file the .dsc names and applies Debian's
# patches. Later calls find DEPS_FOLDER/PACKAGE_VERSION and fetch nothing.
set -euo pipefail

# The release whose archive holds the pinned versions.
SUITE=bookworm
ARCHIVE=http://deb.debian.org/debian
KEYRING=/usr/share/keyrings/debian-archive-keyring.gpg

# One function per package, package_NAME: its version and the SHA-256 of its
# .dsc. A new version needs both; Debian's security archive is not mirrored
# everywhere, so a pin names a version of $SUITE itself.
package_zlib() {
  # 1:1.2.13.dfsg-1+deb12u1 (bookworm-security) changes only minizip, which
  # the stubs do not build.
  fetch zlib 1:1.2.13.dfsg-1 3fa1e6b2fc525062aa88207dda52fed8e045373c809d362fe8a2bfbf7cf515a8
}

die() {
  echo "debian-source: $*" >&2
  exit 1
}

# fetch NAME VERSION DSC_SHA256
fetch() {
  local name=$1 version=$2 sha256=$3
  local plain=${version#*:}  # file names carry no epoch
  local folder="$deps/${name}_${plain}"
  if [ "$(cat "$folder.sha256" 2>/dev/null)" = "$sha256" ] && [ -d "$folder" ]; then
    echo "$folder"
    return
  fi
  for tool in apt-get dpkg-source sha256sum flock; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
  done
  [ -r "$KEYRING" ] || die "$KEYRING is missing (package debian-archive-keyring)"

  # Two builds configured at once share the folder.
  mkdir -p "$deps/apt"
  exec 9>"$deps/apt/lock"
  flock 9
  if [ "$(cat "$folder.sha256" 2>/dev/null)" = "$sha256" ] && [ -d "$folder" ]; then
    echo "$folder"
    return
  fi

  local apt="$deps/apt"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
  printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
    "$ARCHIVE" "$SUITE" "$KEYRING" >"$apt/deb-src.sources"
  local options=(-o "Dir::Etc::SourceList=$apt/deb-src.sources" -o Dir::Etc::SourceParts=/dev/null
                 -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -qq)
  # As root, apt downloads as _apt, which may not write here.
  if [ "$(id -u)" = 0 ]; then options+=(-o APT::Sandbox::User=root); fi

  echo "debian-source: fetching $name $version from $ARCHIVE $SUITE" >&2
  apt-get "${options[@]}" update >&2 || die "apt-get update for $SUITE's sources failed"
  local download="$apt/download"
  rm -rf "$download" && mkdir -p "$download"
  (cd "$download" && apt-get "${options[@]}" source --download-only "$name=$version" >&2) ||
    die "could not download $name $version; when $SUITE no longer has it, pin the version it has in $0"
  local dsc="$download/${name}_${plain}.dsc"
  [ -f "$dsc" ] || die "apt-get left no $dsc"
  local got
  got=$(sha256sum "$dsc" | cut -d' ' -f1)
  [ "$got" = "$sha256" ] || die "$dsc has SHA-256 $got, not the pinned $sha256"

  rm -rf "$folder" "$folder.tmp"
  # Debian's signing keys are not needed: the .dsc is pinned, and it pins the rest.
  if ! dpkg-source --no-copy -x "$dsc" "$folder.tmp" >"$download/dpkg-source.log" 2>&1; then
    cat "$download/dpkg-source.log" >&2
    die "dpkg-source could not unpack $dsc"
  fi
  mv "$folder.tmp" "$folder"
  echo "$sha256" >"$folder.sha256"
  rm -rf "$download" "$apt/lists" "$apt/cache"  # the index alone is 20 MB
  echo "$folder"
}

[ $# -ge 1 ] && [ $# -le 2 ] || die "usage: $0 PACKAGE [DEPS_FOLDER]"
package=$1
deps=${2:-$(cd "$(dirname "$0")/.." && pwd)/build/deps}
declare -F "package_$package" >/dev/null || die "no pinned version for $package"
mkdir -p "$deps"
deps=$(cd "$deps" && pwd)
"package_$package"
