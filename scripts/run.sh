#!/usr/bin/env bash
# Runs the service: installs what is missing, builds the optimised binary with the release preset
# and starts orvanta in the foreground (0.0.0.0:8000 unless the environment says otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release
cmake --build --preset release --target orvanta -j "$(nproc)"
exec build/release/src/orvanta "$@"
