# Sourced by the build scripts. ensure_packages takes pairs "probe:package": when the probe (a
# command name or an absolute path) is missing, the package is installed with apt-get.
ensure_packages() {
  local missing=() pair probe package
  for pair in "$@"; do
    probe=${pair%%:*}
    package=${pair#*:}
    if [[ $probe == /* ]]; then
      [[ -e $probe ]] && continue
    else
      command -v "$probe" >/dev/null 2>&1 && continue
    fi
    missing+=("$package")
  done
  ((${#missing[@]} == 0)) && return 0
  local sudo=()
  ((EUID == 0)) || sudo=(sudo)
  echo "Installing missing packages: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}
