# Installs, when missing, the Debian packages Norrvik builds with. Sourced by
# ./test and ./run; runs apt-get (through sudo when not root) only when a
# package is missing.
norrvik_install_deps() {
    local wanted=(cmake g++ make libgtest-dev qt6-base-dev libcli11-dev nlohmann-json3-dev)
    local missing=()
    local p
    for p in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing missing packages: ${missing[*]}" >&2
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}
