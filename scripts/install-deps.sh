#!/usr/bin/env bash
# Installs every package the builds, tests, benchmarks and demo need on Debian 12.
# Run as root (or with sudo available). Safe to run again; when everything is
# there it only looks (no apt-get update).
set -u
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config python3
  zlib1g-dev libgtest-dev googletest libarchive-dev
  clang llvm libclang-rt-14-dev
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64
  dpkg-dev debian-archive-keyring   # scripts/debian-source.sh: zlib's source for the Windows builds
  wine wine64 xvfb xdotool imagemagick x11-utils
  zip unzip p7zip-full makeself libarchive-tools icoutils osslsigncode openssl
  wixl
)

# The 32-bit stub under Wine: wine32 (from the i386 architecture), and the
# i386 Linux compiler for tests/e2e/wine32/trapno.c, which the route through
# qemu needs (see the end).
WINE32_PACKAGES=(wine32:i386 gcc-i686-linux-gnu libc6-dev-i386-cross)

updated=""
apt_update() {
  [ -n "$updated" ] && return
  # One bad index (an i386 one has been inconsistent before) must not stop
  # the install; a package that cannot be found then does.
  $SUDO apt-get update || echo "install-deps: apt-get update reported errors; going on" >&2
  updated=1
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386 || exit 1
fi

missing=()
for p in "${PACKAGES[@]}" "${WINE32_PACKAGES[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is installed"
else
  apt_update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}" || exit 1
fi

# Where the kernel cannot run 32-bit x86 code, the win32 tests run Wine's
# i386 loader through qemu-i386 (tests/e2e/wine32/route.py); elsewhere a test
# of that route takes it. Bookworm's qemu 7.2 takes about a minute per Wine
# process start; the one in bookworm-backports a fraction of a second.
if ! python3 tests/e2e/wine32/route.py has-qemu 2>/dev/null; then
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  backports="${codename}-backports"
  if ! grep -rqsE "^[^#]*[[:space:]]${backports}([[:space:]]|$)" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    # The same mirror (and key) as the release's own entry, deb822 or one-line.
    source=$(awk -v suite="$codename" '
      BEGIN { RS = ""; FS = "\n" }
      {
        types = uris = suites = signed = ""; enabled = "yes"
        for (i = 1; i <= NF; i++) {
          split($i, kv, ":[[:space:]]*")
          value = substr($i, index($i, ":") + 1); gsub(/^[[:space:]]+|[[:space:]]+$/, "", value)
          if (kv[1] == "Types") types = value
          else if (kv[1] == "URIs") uris = value
          else if (kv[1] == "Suites") suites = value
          else if (kv[1] == "Signed-By") signed = value
          else if (kv[1] == "Enabled") enabled = value
        }
        if (enabled != "no" && (" " types " ") ~ / deb / && (" " suites " ") ~ (" " suite " ")) {
          split(uris, first, /[[:space:]]+/)
          print first[1] "|" signed; exit
        }
      }' /etc/apt/sources.list.d/*.sources 2>/dev/null)
    if [ -z "$source" ] && [ -f /etc/apt/sources.list ]; then
      source=$(awk -v suite="$codename" '
        $1 == "deb" {
          i = 2; signed = ""
          if ($2 ~ /^\[/) {
            for (; i <= NF; i++) {
              if ($i ~ /^\[?signed-by=/) { signed = $i; sub(/^\[?signed-by=/, "", signed); sub(/\]$/, "", signed) }
              if ($i ~ /\]$/) { i++; break }
            }
          }
          if ($(i + 1) == suite) { print $i "|" signed; exit }
        }' /etc/apt/sources.list)
    fi
    if [ -z "$source" ]; then
      echo "install-deps: no apt source for $codename to add $backports for; where the win32 tests need qemu-i386, they will be skipped" >&2
      exit 0
    fi
    uri=${source%%|*}
    signed=${source#*|}
    {
      echo "Types: deb"
      echo "URIs: $uri"
      echo "Suites: $backports"
      echo "Components: main"
      # A key given inline spans several lines; apt's keyring has Debian's key anyway.
      case "$signed" in /*) echo "Signed-By: $signed" ;; esac
    } | $SUDO tee "/etc/apt/sources.list.d/${backports}.sources" >/dev/null || exit 1
    echo "install-deps: added $backports from $uri"
    updated=""
  fi
  apt_update
  $SUDO apt-get install -y --no-install-recommends "qemu-user/${backports}" || exit 1
fi
exit 0
