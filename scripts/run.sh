#!/usr/bin/env bash
# Starts kelvo from the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/shell/qt/kelvo ]; then
  echo "kelvo: the window is not built yet; 'make test' runs the player's tests." >&2
  exit 1
fi
# With nothing named, the bundled demo play list.
[ $# -gt 0 ] || set -- "$PWD/build/demo/demo.ini"
exec build/shell/qt/kelvo "$@"
