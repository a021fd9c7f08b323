#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when any is missing, and any
# further packages named on the command line (scripts/fuzz.sh adds clang's).
# Needs root to install; without root it only reports what is missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libsqlite3-dev libpugixml-dev libssl-dev
          libcurl4-openssl-dev libzip-dev libcpp-httplib-dev libgtest-dev libgmock-dev
          libarchive-dev libxxhash-dev libzstd-dev zstd tar "$@")
missing=()
for p in "${packages[@]}"; do
  # No pipe into grep -q: under pipefail an early grep exit could count an installed package as missing.
  status="$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)"
  [[ "$status" == *"install ok installed"* ]] || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then exit 0; fi
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages (run as root to install them): ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
