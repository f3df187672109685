#!/bin/sh
# vireon run --mpi with three processes over loopback writes the files of a
# run on one thread: the data files byte for byte, the report but for its
# date line. Both runs take the model from the same folder, since the
# report names its path.
#
# Usage: mpi_run_test.sh VIREON MPIRUN MODEL.vrn
set -eu
vireon=$1
mpirun=$2
model=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
name=$(basename "$model")
mkdir "$work/run" "$work/serial" "$work/config"
cp "$model" "$work/run/$name"
# The built-in settings, not the user's.
export XDG_CONFIG_HOME="$work/config"

"$vireon" run "$work/run/$name" --jobs 1 --seed 11 --quiet >/dev/null 2>&1
for file in "$work/run"/*; do
  [ "$(basename "$file")" = "$name" ] || mv "$file" "$work/serial/"
done
"$mpirun" --allow-run-as-root --oversubscribe -np 3 \
  --mca btl self,tcp --mca btl_tcp_if_include lo --mca oob_tcp_if_include lo \
  "$vireon" run "$work/run/$name" --mpi --seed 11 --quiet >/dev/null

compared=0
for file in "$work/serial"/*; do
  base=$(basename "$file")
  case "$base" in
    *.txt)
      sed 4d "$file" >"$work/a"
      sed 4d "$work/run/$base" >"$work/b"
      cmp "$work/a" "$work/b"
      ;;
    *) cmp "$file" "$work/run/$base" ;;
  esac
  compared=$((compared + 1))
done
if [ "$compared" -lt 3 ]; then
  echo "expected a report and two data files, compared $compared" >&2
  exit 1
fi
