#!/bin/sh
# Segments a dataset in PARTS parts with GNU parallel on this machine, PARTS at a time.
#   parallel-local.sh PARTS INPUT OUTPUT COUNT WEIGHT
set -eu
parts=$1
shift
parallel --will-cite --halt never -j "$parts" \
  "${SUPERPIXELS:-superpixels}" --jobs 1 --quiet --skip-existing --shard {}/"$parts" "$@" \
  ::: $(seq 0 $((parts - 1)))
