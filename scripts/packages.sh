# Installs Debian packages that are not installed yet; sourced by the set-up scripts.
#   install_packages PACKAGE...
# A package index that fails to download (a mirror serving a broken index for a suite or an
# architecture, as happens) does not stop the install by itself: the indexes that did download
# are used, and every package asked for must still have an installation candidate there, or
# the install stops naming the packages it cannot find.
install_packages() {
  local missing=() unknown=() p sudo=""
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  if ! $sudo apt-get update; then
    echo "packages: some package index failed to download (see above); using the others" >&2
  fi
  local policy
  for p in "${missing[@]}"; do
    # Read whole, not piped into grep -q: under pipefail the early exit would fail the check.
    policy=$(apt-cache policy "$p" 2>/dev/null || true)
    [[ $policy == *"Candidate: "* && $policy != *"Candidate: (none)"* ]] || unknown+=("$p")
  done
  if [ ${#unknown[@]} -gt 0 ]; then
    echo "packages: no package index offers: ${unknown[*]}" >&2
    return 1
  fi
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}
