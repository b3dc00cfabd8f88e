# Sourced by the developer scripts: answers --help with the text a script gives and
# --version with the source tree's release and commit, then ends the script; any other
# first word goes on to the script itself.
# usage: scriptInfo NAME HELP_TEXT "$@"
scriptInfo() {
  local name=$1 text=$2 root release commit
  case ${3:-} in
    -h | --help)
      printf '%s\n' "$text"
      exit 0
      ;;
    --version)
      root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
      release=$(sed -n 's/^project(morph VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
      commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || sed -n '/^[0-9a-f]\{4,\}$/p' "$root/.commit" 2>/dev/null || true)
      echo "$name $release${commit:+ (commit $commit)}"
      exit 0
      ;;
  esac
}
