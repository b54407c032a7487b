#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12. Idempotent and quick when
# everything is already there.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

packages=(cmake make g++ clang libclang-rt-14-dev googletest
          g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-tools
          wine wine32:i386 wine64 xvfb xauth imagemagick fonts-wine socat
          openssl python3 mobile-broadband-provider-info
          dovecot-imapd dovecot-pop3d python3-aiosmtpd
          nsis python3-reportlab poppler-utils)
for p in "${packages[@]}"; do have "$p" || need+=("$p"); done
[ ${#need[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "install-deps: installing ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
