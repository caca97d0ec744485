#!/usr/bin/env bash
# Installs, builds and starts tavrinel in a scratch folder on the bundled sample database.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRINEL_TESTS=OFF \
  -DTAVRINEL_BENCH=OFF >/dev/null
cmake --build "$root/build" --target tavrinel

scratch="$root/scratch"
mkdir -p "$scratch"
cp "$root/sample/Database.mdb" "$scratch/Database.mdb"
cd "$scratch"
exec "$root/build/tavrinel"
