#!/usr/bin/env bash
# Installs, from Debian packages, whatever the build, the tests and the service need and is missing.
set -euo pipefail

packages=(g++ cmake ninja-build libboost1.81-dev libboost-json1.81-dev libssl-dev openssl
          libgtest-dev libgmock-dev libbenchmark-dev curl wrk)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
echo "installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
