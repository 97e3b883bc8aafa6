#!/bin/sh
# Segments a dataset in PARTS parts with GNU parallel on this machine, PARTS at a time.
#   parallel-local.sh PARTS INPUT OUTPUT COUNT WEIGHT
set -eu
# The tool: $SUPERPIXELS when set, else superpixels on PATH, else the one built in build/ of
# this checkout.
if [ -n "${SUPERPIXELS:-}" ]; then
  tool=$(command -v "$SUPERPIXELS" || true)
elif command -v superpixels >/dev/null 2>&1; then
  tool=$(command -v superpixels)
else
  tool="$(cd "$(dirname "$0")/../.." && pwd)/build/superpixels"
fi
if [ -z "$tool" ] || [ ! -x "$tool" ]; then
  echo "parallel-local.sh: ${SUPERPIXELS:-superpixels}: not found (put superpixels on PATH, set SUPERPIXELS" \
    "to the tool, or build it in build/ of this checkout)" >&2
  exit 127
fi
echo "parallel-local.sh: using $tool" >&2
parts=$1
shift
parallel --will-cite --halt never -j "$parts" \
  "$tool" --jobs 1 --quiet --skip-existing --shard {}/"$parts" "$@" \
  ::: $(seq 0 $((parts - 1)))
