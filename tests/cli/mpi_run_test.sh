#!/bin/sh
# vireon run --mpi with three processes over loopback writes the files of a
# run on one thread: the data files byte for byte, the report but for its
# date line.
#
# Usage: mpi_run_test.sh VIREON MPIRUN MODEL.vrn
set -eu
vireon=$1
mpirun=$2
model=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
name=$(basename "$model")
mkdir "$work/serial" "$work/mpi" "$work/config"
cp "$model" "$work/serial/$name"
cp "$model" "$work/mpi/$name"
# The built-in settings, not the user's.
export XDG_CONFIG_HOME="$work/config"

"$vireon" run "$work/serial/$name" --jobs 1 --seed 11 --quiet >/dev/null
"$mpirun" --allow-run-as-root --oversubscribe -np 3 \
  --mca btl self,tcp --mca btl_tcp_if_include lo --mca oob_tcp_if_include lo \
  "$vireon" run "$work/mpi/$name" --mpi --seed 11 --quiet >/dev/null

compared=0
for file in "$work/serial"/*; do
  base=$(basename "$file")
  [ "$base" = "$name" ] && continue
  case "$base" in
    *.txt)
      sed 4d "$file" >"$work/a"
      sed 4d "$work/mpi/$base" >"$work/b"
      cmp "$work/a" "$work/b"
      ;;
    *) cmp "$file" "$work/mpi/$base" ;;
  esac
  compared=$((compared + 1))
done
if [ "$compared" -lt 3 ]; then
  echo "expected a report and two data files, compared $compared" >&2
  exit 1
fi
