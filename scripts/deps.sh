#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, only when missing.
# `deps.sh deb` adds those that `make deb` and `make test-deb` need (the README says why).
set -euo pipefail
PKGS=(cmake g++ make qt6-base-dev fonts-liberation bison libgtest-dev libbenchmark-dev
      libcli11-dev nlohmann-json3-dev help2man clang libclang-rt-14-dev clang-format sqlite3
      xvfb xauth xdotool openbox x11-utils python3)
if [ "${1:-}" = deb ]; then
    PKGS+=(dpkg-dev file lintian appstream desktop-file-utils shared-mime-info xdg-utils
           libfile-mimeinfo-perl libglib2.0-bin)
fi
missing=()
for p in "${PKGS[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
