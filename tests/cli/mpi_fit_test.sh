#!/bin/sh
# vireon fit --mpi with two and with three processes over loopback gives
# the result of a fit in one process on one thread: RESULT.json byte for
# byte, the report but for its date line.
#
# Usage: mpi_fit_test.sh VIREON MPIRUN MODEL.vrn
set -eu
vireon=$1
mpirun=$2
model=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/config"
# The built-in settings, not the user's.
export XDG_CONFIG_HOME="$work/config"

# Data from the model itself; the fit starts from a model whose first
# constant is moved away.
"$vireon" simulate "$model" --select S1,S3 --end 5 --points 10 --rtol 1e-10 \
  -o "$work/course.csv" >/dev/null
sed '0,/^Param0=2.0000000000000000$/s//Param0=5.0000000000000000/' "$model" >"$work/moved.vrn"
cmp -s "$model" "$work/moved.vrn" && { echo "no constant was moved" >&2; exit 1; }

# fit N [MPIRUN...]: the fit, its result in fit-N.json and its report in
# fit-N.txt (names as long as each other: the report's banner is as wide as
# the longest of its lines and the file's name).
fit() {
  n=$1
  shift
  "$@" "$vireon" fit "$work/moved.vrn" --data "$work/course.csv" \
    --parameter 'E1(k1)=0.1:100' --parameter 'E3(k1)=0.01:100' --method global --starts 7 \
    --seed 5 --quiet -o "$work/fit-$n.json" --report "$work/fit-$n.txt" $extra >/dev/null
}
extra="--jobs 1"
fit 1
extra="--mpi"
for np in 2 3; do
  fit $np "$mpirun" --allow-run-as-root --oversubscribe -np $np \
    --mca btl self,tcp --mca btl_tcp_if_include lo --mca oob_tcp_if_include lo
  cmp "$work/fit-1.json" "$work/fit-$np.json"
  sed 4d "$work/fit-1.txt" >"$work/a"
  sed 4d "$work/fit-$np.txt" >"$work/b"
  cmp "$work/a" "$work/b"
done
grep -q '"starts": 7' "$work/fit-1.json" || { echo "expected 7 starts" >&2; exit 1; }
