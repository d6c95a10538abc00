# shellcheck shell=bash
# The ports of the local stack, as the build tree's CMake cache values chose them: source this
# file and call zumalo_ports BUILD_DIR to set ZUMALO_DB_PORT, ZUMALO_PRESENCE_PORT,
# ZUMALO_HTTP_PORT and ZUMALO_WEB_PORT. CMake writes them to BUILD_DIR/ports.sh when it
# configures; a build tree not configured yet is configured first.
zumalo_ports() {
  local build=$1 source_dir
  source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  if [ ! -f "$build/ports.sh" ]; then
    # shellcheck disable=SC2086 # the extra arguments are words
    cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${ZUMALO_CMAKE_ARGS:-} >/dev/null
  fi
  # shellcheck source=/dev/null
  source "$build/ports.sh"
}
