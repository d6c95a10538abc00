# Sourced by the cluster tests: runs the test in a network namespace of its own (a private
# loopback, so its ports meet nobody's), gives it a cluster of its own under the build tree,
# and stops that cluster however the test ends.
# shellcheck shell=bash
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${ZUMALO_BUILD_DIR:-$top/build}
# Where no namespace can be made (not root, a container without the right), the test runs
# beside the rest, the cluster's address on a port of its own.
if [ -z "${ZUMALO_TEST_NETNS:-}" ] && unshare -n true 2>/dev/null; then
  export ZUMALO_TEST_NETNS=1
  # shellcheck disable=SC2016 # the inner shell expands its own arguments
  exec unshare -n -- bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi
export ZUMALO_BUILD_DIR=$build
ZUMALO_CLUSTER_DIR=$build/test-cluster/$(basename "$0")
export ZUMALO_CLUSTER_DIR
if [ -n "${ZUMALO_TEST_NETNS:-}" ]; then
  export ZUMALO_DB_PORT=${ZUMALO_DB_PORT:-3306}
else
  export ZUMALO_DB_PORT=${ZUMALO_DB_PORT:-3336}
fi
cluster() { "$top/scripts/cluster" "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
stop_all() { cluster stop >/dev/null 2>&1 || true; }
trap stop_all EXIT

# Waits until HAProxy shows the nodes as given, e.g. "node1 UP node2 DOWN node3 UP".
wait_backends() { # expected seconds
  local want=$1 limit=$2 got="" i
  for ((i = 0; i < limit * 10; i++)); do
    got=$(cluster backends | tr '\n' ' ' | sed 's/ $//')
    [ "$got" = "$want" ] && return 0
    sleep 0.1
  done
  echo "HAProxy shows \"$got\" after $limit s, not \"$want\"" >&2
  return 1
}

# A checksum of each of the six tables on a node, one line.
checksums() { # node
  cluster sql "$1" -N test -e "CHECKSUM TABLE zumalo_userinfo, zumalo_sys, zumalo_zhongzi, zumalo_sp,
    zumalo_news, zumalo_bodysay" | awk '{ printf "%s=%s ", $1, $2 }'
}

rm -rf "$ZUMALO_CLUSTER_DIR"
