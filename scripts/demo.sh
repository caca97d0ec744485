#!/usr/bin/env bash
# Installs what the program needs, builds it, and starts it in a scratch folder on the bundled
# sample database.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target tavrinel

scratch="$root/scratch"
mkdir -p "$scratch"
cp "$root/sample/Database.mdb" "$scratch/Database.mdb"
cd "$scratch"
echo "Result letters go to $scratch/mail.txt"
exec "$root/build/tavrinel"
