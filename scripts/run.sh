#!/usr/bin/env bash
# Installs what is needed, builds Dormix, installs it into out/dormix (a
# self-contained folder) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target dormix
cmake --install build --prefix out/dormix >/dev/null
exec out/dormix/dormix
