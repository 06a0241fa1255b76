# Shared by scripts/run, scripts/test and .ci/run: install what is missing,
# configure and build one preset.
set -euo pipefail
TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
    local missing=() pkg
    while read -r pkg; do
        case "$pkg" in ''|'#'*) continue ;; esac
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
    done < "$TOP/scripts/packages.txt"
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    fi
}

build_preset() {
    local preset=$1
    cmake --preset "$preset" -S "$TOP" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}
