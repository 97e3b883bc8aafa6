#!/bin/sh
# Segments a dataset with GNU parallel across hosts reached by ssh: PARTS parts, spread over the
# hosts of HOSTS (GNU parallel's --sshlogin list, e.g. 8/node1,8/node2). INPUT and OUTPUT must be
# the same paths on every host (a shared file system), and superpixels on every host's PATH (or
# the tool at the same path on every host, as SUPERPIXELS or build/ of this checkout names it).
#   parallel-hosts.sh HOSTS PARTS INPUT OUTPUT COUNT WEIGHT
set -eu
# The tool: $SUPERPIXELS when set, else superpixels on PATH, else the one built in build/ of
# this checkout.
if [ -n "${SUPERPIXELS:-}" ]; then
  tool=$(command -v "$SUPERPIXELS" || true)
elif command -v superpixels >/dev/null 2>&1; then
  tool=$(command -v superpixels)
  # Each host runs the one on its own PATH.
  remote=superpixels
else
  tool="$(cd "$(dirname "$0")/../.." && pwd)/build/superpixels"
fi
if [ -z "$tool" ] || [ ! -x "$tool" ]; then
  echo "parallel-hosts.sh: ${SUPERPIXELS:-superpixels}: not found (put superpixels on PATH, set SUPERPIXELS" \
    "to the tool, or build it in build/ of this checkout)" >&2
  exit 127
fi
echo "parallel-hosts.sh: using ${remote:-$tool}" >&2
# GNU parallel runs the remote command through $SHELL and silently does nothing when it is unset,
# as under cron or a bare scheduler environment.
export SHELL="${SHELL:-/bin/sh}"
hosts=$1
parts=$2
shift 2
parallel --will-cite --halt never --sshlogin "$hosts" --workdir . \
  "${remote:-$tool}" --jobs 1 --quiet --skip-existing --shard {}/"$parts" "$@" \
  ::: $(seq 0 $((parts - 1)))
