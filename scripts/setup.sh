#!/bin/bash
# Installs what building and testing need on Debian 12; does nothing when all is there.
set -euo pipefail
PACKAGES=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 googletest socat lrzsz python3
          xvfb imagemagick xdotool nsis xclip)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

# The help compiler chmcmd and its lister chmls come from fp-utils-3.2.2, whose
# package pulls in the 200 MB Free Pascal sources: unpack only the package.
HELP_TOOLS="$HOME/.cache/pellor/fp-utils-3.2.2"
if ! command -v chmcmd >/dev/null && ! [ -x "$HELP_TOOLS/usr/bin/chmcmd-3.2.2" ]; then
  echo "unpacking fp-utils-3.2.2 into $HELP_TOOLS"
  download="$(mktemp -d)"
  (cd "$download" && apt-get download -qq fp-utils-3.2.2)
  mkdir -p "$HELP_TOOLS"
  dpkg -x "$download"/fp-utils-3.2.2_*.deb "$HELP_TOOLS"
  rm -rf "$download"
fi
