#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks every file of the
# installation; moves the prefix elsewhere and runs an installed example
# there; builds the Debian package, checks its fields and contents, unpacks
# it into a throw-away root and runs it from there.
#
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vireon-install-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The files an installation holds, relative to the prefix, sorted.
expected_files() {
  {
    echo bin/vireon
    [ -x "$build/vireon-gui" ] && echo bin/vireon-gui
    echo share/applications/vireon.desktop
    echo share/bash-completion/completions/vireon
    echo share/doc/vireon/manual.html
    for f in "$source_dir"/examples/*.vrn "$source_dir"/examples/*.csv "$source_dir"/examples/README.md; do
      echo "share/doc/vireon/examples/$(basename "$f")"
    done
    for size in 16 22 24 32 48 64 128 256; do
      echo "share/icons/hicolor/${size}x${size}/apps/vireon.png"
    done
    echo share/icons/hicolor/scalable/apps/vireon.svg
    echo share/man/man1/vireon-gui.1
    echo share/man/man1/vireon.1
    echo share/mime/packages/vireon.xml
    echo share/vireon/vireon.svg
    # The Python module, when the build has it.
    if [ -d "$build/python/vireon" ]; then
      for f in "$source_dir"/src/python/vireon/*.py; do
        echo "lib/python3/dist-packages/vireon/$(basename "$f")"
      done
      for f in "$build"/python/vireon/_vireon*.so; do
        echo "lib/python3/dist-packages/vireon/$(basename "$f")"
      done
    fi
  } | LC_ALL=C sort
}

# Width and height of a PNG file, from its header.
png_size() {
  local b
  read -r -a b < <(od -An -tu1 -j16 -N8 "$1")
  echo "$(( (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3] ))x$(( (b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7] ))"
}

# Runs the installed vireon of `prefix` on a copy of an installed example.
run_installed_example() {
  local prefix=$1 label=$2 scratch="$work/run-$2"
  "$prefix/bin/vireon" --version | grep -q '^Vireon version ' || fail "$label: vireon --version"
  mkdir -p "$scratch"
  cp "$prefix/share/doc/vireon/examples/michaelis_menten.vrn" "$scratch/"
  if ! "$prefix/bin/vireon" run --quiet --settings "$scratch/vireon.ini" --kdb "$scratch/vireon.kdb" \
      "$scratch/michaelis_menten.vrn" >"$scratch/out" 2>&1; then
    cat "$scratch/out" >&2
    fail "$label: vireon run on an installed example"
  fi
  grep -q 'STEADY STATE SOLUTION' "$scratch/michaelis_menten.txt" 2>/dev/null ||
    fail "$label: the run wrote no report with a steady state"
}

# Every command example of the manual (its ```sh blocks, in order) runs
# against the installation `prefix` as a user with a fresh home folder types
# it, in the folder that holds the package: the installed paths point into
# the prefix, and the package's installation is simulated.
run_manual_commands() {
  local prefix=$1 folder=$2 home="$work/home"
  mkdir -p "$home"
  {
    echo 'set -euo pipefail'
    awk '/^```sh$/ { inside = 1; next } /^```/ { inside = 0 } inside { print }' \
      "$source_dir/docs/manual.md"
  } | sed -e "s|/usr/share/doc/vireon|$prefix/share/doc/vireon|g" \
          -e 's|^sudo apt install |apt-get install -s -q |' >"$work/manual-commands.sh"
  grep -q 'vireon run' "$work/manual-commands.sh" || fail "the manual has no command examples"
  if ! (cd "$folder" && env -u XDG_CONFIG_HOME HOME="$home" PATH="$prefix/bin:$PATH" \
        bash "$work/manual-commands.sh") >"$work/manual-commands.log" 2>&1; then
    cat "$work/manual-commands.log" >&2
    fail "a command example of the manual failed"
  fi
  # The loop over models reports a failed run without stopping; the missing
  # model of the troubleshooting section exits 1.
  ! grep -q ' failed$' "$work/manual-commands.log" || fail "a model of the manual's loop failed"
  grep -qx 'exit status 1' "$work/manual-commands.log" || fail "the missing model did not exit 1"
}

# Every file, and nothing else.
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
diff <(expected_files) <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort) ||
  fail "installed files differ from the expected list (< expected, > installed)"
for program in vireon vireon-gui; do
  [ ! -e "$prefix/bin/$program" ] || [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done

# The desktop entry is valid and opens model files with the desktop program.
desktop="$prefix/share/applications/vireon.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=vireon-gui %f' "$desktop" || fail "desktop entry: Exec"
grep -qx 'MimeType=application/x-vireon-model;' "$desktop" || fail "desktop entry: MimeType"
grep -qx 'Icon=vireon' "$desktop" || fail "desktop entry: Icon"

# The MIME type compiles and gives the name pattern and the first-line magic.
mime_copy="$work/mime"
mkdir -p "$mime_copy/packages"
cp "$prefix/share/mime/packages/vireon.xml" "$mime_copy/packages/"
XDG_DATA_DIRS="$work" update-mime-database "$mime_copy" 2>"$work/mime.err" || fail "update-mime-database"
[ ! -s "$work/mime.err" ] || { cat "$work/mime.err" >&2; fail "update-mime-database warned"; }
grep -q ':application/x-vireon-model:\*\.vrn$' "$mime_copy/globs2" || fail "MIME glob *.vrn"
grep -qa 'Version=' "$mime_copy/magic" || fail "MIME magic on the version line"
grep -q '^application/x-vireon-model$' "$mime_copy/types" || fail "MIME type list"

# The icon: the SVG and one PNG per size, each as large as its folder says.
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/vireon.png"
  [ "$(png_size "$png")" = "${size}x${size}" ] || fail "icon ${size}x${size} is $(png_size "$png")"
done
cmp -s "$source_dir/packaging/vireon.svg" "$prefix/share/icons/hicolor/scalable/apps/vireon.svg" ||
  fail "scalable icon"

# The manual pages render without a warning.
for page in vireon vireon-gui; do
  LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$prefix/share/man/man1/$page.1" \
    >"$work/$page.man" 2>"$work/$page.err" || fail "man -l $page.1"
  [ ! -s "$work/$page.err" ] || { cat "$work/$page.err" >&2; fail "man -l $page.1 warned"; }
done

# The manual is the generated page.
grep -q '<title>Vireon .* user manual</title>' "$prefix/share/doc/vireon/manual.html" ||
  fail "manual.html has no title"

# Bash completion offers the commands, the options and model files.
mkdir -p "$work/completion/folder"
touch "$work/completion/a model.vrn" "$work/completion/notes.txt"
completion=$(cd "$work/completion" && bash -c '
  source "$1"
  complete_line() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _vireon; printf "%s|" "${COMPREPLY[@]}"; echo; }
  complete_line vireon ""
  complete_line vireon run ""
  complete_line vireon run --s
  complete -p vireon' _ "$prefix/share/bash-completion/completions/vireon")
expected_completion='run|plot|simulate|import|export|fit|--help|--version|
a model.vrn|folder|
--settings|--seed|
complete -F _vireon vireon'
[ "$completion" = "$expected_completion" ] || fail "bash completion gave:
$completion"

# A relocated installation still runs, and finds its files where it now is.
moved="$work/elsewhere/vireon"
mkdir -p "$(dirname "$moved")"
mv "$prefix" "$moved"
run_installed_example "$moved" relocated

# The Debian package.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
deb=$(ls "$work"/package/vireon_*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  fail "no vireon_*.deb was built"
else
  [ "$(dpkg-deb -f "$deb" Package)" = vireon ] || fail "package name"
  depends=$(dpkg-deb -f "$deb" Depends)
  for library in libqt6widgets6 qt6-qpa-plugins liblapack3 libinih1 libc6; do
    [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
  done
  recommends=gnuplot
  [ -d "$build/python/vireon" ] && recommends="gnuplot, python3-pandas, python3-matplotlib"
  [ "$(dpkg-deb -f "$deb" Recommends)" = "$recommends" ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"
  diff <(expected_files | sed 's|^|usr/|') \
       <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | LC_ALL=C sort) ||
    fail "package files differ from the installation"
  root="$work/root"
  dpkg -x "$deb" "$root"
  run_installed_example "$root/usr" unpacked
  run_manual_commands "$root/usr" "$(dirname "$deb")"
  # apt can satisfy the package's dependencies on this system.
  apt-get install -s -q --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; fail "apt-get install -s"; }
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installation and package: every check passed"
