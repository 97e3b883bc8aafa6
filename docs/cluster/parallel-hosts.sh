#!/bin/sh
# Segments a dataset with GNU parallel across hosts reached by ssh: PARTS parts, spread over the
# hosts of HOSTS (GNU parallel's --sshlogin list, e.g. 8/node1,8/node2). INPUT and OUTPUT must be
# the same paths on every host (a shared file system), and superpixels on every host's PATH.
#   parallel-hosts.sh HOSTS PARTS INPUT OUTPUT COUNT WEIGHT
set -eu
# GNU parallel runs the remote command through $SHELL and silently does nothing when it is unset,
# as under cron or a bare scheduler environment.
export SHELL="${SHELL:-/bin/sh}"
hosts=$1
parts=$2
shift 2
parallel --will-cite --halt never --sshlogin "$hosts" --workdir . \
  "${SUPERPIXELS:-superpixels}" --jobs 1 --quiet --skip-existing --shard {}/"$parts" "$@" \
  ::: $(seq 0 $((parts - 1)))
