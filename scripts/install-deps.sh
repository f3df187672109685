#!/usr/bin/env bash
# Installs every Debian package that Vireon's build, tests, benchmarks and GUI need.
# Safe to run again: it asks apt only for what is missing, and updates the
# package lists at most once per call.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  liblapack-dev
  libsbml5-dev
  libinih-dev
  qt6-base-dev qt6-qpa-plugins qt6-charts-dev qt6-svg-dev libqt6opengl6-dev
  fonts-dejavu-core
  gnuplot-nox
  libsundials-dev libsuitesparse-dev python3-scipy
  libceres-dev libnlopt-cxx-dev
  pybind11-dev python3-dev python3-numpy python3-pytest python3-pandas python3-matplotlib
  libopenmpi-dev openmpi-bin
  clang libclang-rt-14-dev
  python3-markdown librsvg2-bin desktop-file-utils shared-mime-info man-db
  ccache
)

# Ceres brings ATLAS, whose BLAS and LAPACK then take over the system's
# libblas.so.3 and liblapack.so.3. The eigenvalues and factorisations are
# checked bit for bit against the reference LAPACK, so keep that one chosen.
use_reference_blas_lapack() {
  local arch lib name target
  arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)
  for lib in blas lapack; do
    name="lib${lib}.so.3-${arch}"
    target="/usr/lib/${arch}/${lib}/lib${lib}.so.3"
    [ -e "$target" ] || continue
    if [ "$(readlink -f "/usr/lib/${arch}/lib${lib}.so.3")" != "$(readlink -f "$target")" ]; then
      "${sudo_cmd[@]}" update-alternatives --set "$name" "$target" >/dev/null
    fi
  done
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

if [ "${#missing[@]}" -eq 0 ]; then
  use_reference_blas_lapack
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
use_reference_blas_lapack
