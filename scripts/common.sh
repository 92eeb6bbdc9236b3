# SPDX-License-Identifier: Apache-2.0
# Shared by scripts/run and scripts/test: install what is missing, then build.
set -euo pipefail

root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Paths under the tree hash as relative ones, so build/ and build-package/
# share ccache's objects.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root_dir}"

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev qt6-charts-dev libqt6opengl6-dev qt6-image-formats-plugins
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core fonts-liberation2
  xvfb dbus-daemon at-spi2-core python3-pyatspi
  desktop-file-utils appstream groff-base
  pybind11-dev python3-dev python3-numpy python3-pil python3-pytest
  ccache dpkg-dev file lintian
  libsodium-dev libpng-dev libtiff-dev zlib1g-dev python3-skimage imagemagick python3-distributed
)
fuzz_packages=(clang libfuzzer-14-dev libclang-rt-14-dev)

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
  local dir=$1
  shift
  local launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  cmake -S "$root_dir" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "${launcher[@]}" "$@"
  cmake --build "$dir" --parallel "$(nproc)"
}
