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
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
