# Shared by scripts/run, scripts/test and scripts/fuzz: install what is missing, build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian 12 packages the build, the program and the tests need.
PACKAGES=(cmake g++ make pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev qt6-translations-l10n
  libjpeg62-turbo-dev libpng-dev libtiff-dev libgif-dev libimagequant-dev zlib1g-dev
  fonts-liberation2 libimage-exiftool-perl tzdata)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# build DIR [cmake options...]
build() {
  local dir="$1"; shift
  local launcher=()
  # A compiler cache, where one is installed, makes rebuilds in fresh folders cheap.
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$ROOT" -B "$dir" "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" --parallel "$(nproc)"
}
