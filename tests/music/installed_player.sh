#!/bin/sh
# Installs the build into a scratch prefix, copies the example out of the
# tree, builds it against the installed player both with find_package and
# with pkg-config, and runs both on the demo's module with SDL's silent
# driver: each must print the rows it hears, in order.
#   installed_player.sh BUILD_DIR SOURCE_DIR MODULE.xm
set -eu
build=$1
source=$2
module=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log"
cp -r "$source/examples" "$work/example"

cmake -S "$work/example" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$work/prefix" >"$work/configure.log" ||
  { cat "$work/configure.log"; exit 1; }
cmake --build "$work/cmake-build" >"$work/build.log" || { cat "$work/build.log"; exit 1; }

flags=$(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --cflags --libs demo-xm)
# shellcheck disable=SC2086
c++ -std=c++17 -O2 -o "$work/heard_rows_pc" "$work/example/heard_rows.cpp" $flags

for program in "$work/cmake-build/heard_rows" "$work/heard_rows_pc"; do
  SDL_AUDIODRIVER=dummy "$program" "$module" 1.5 >"$work/rows.txt"
  head -1 "$work/rows.txt" | grep -q "^quenvar2: 12 channels, 89.3 s$" ||
    { echo "$program: unexpected heading"; cat "$work/rows.txt"; exit 1; }
  # quenvar2 plays a row every 0.116 s: from row 0 of order 0, each row at
  # most once and in order (a busy machine may hide one), a dozen in 1.5 s.
  sed -n 's/.*order   0  pattern   0  row *\([0-9]*\)$/\1/p' "$work/rows.txt" >"$work/rows"
  awk 'NR == 1 && $1 != 0 { bad = 1 } NR > 1 && $1 <= last { bad = 1 } { last = $1 }
       END { exit bad || NR < 8 }' "$work/rows" ||
    { echo "$program: heard rows $(tr '\n' ' ' <"$work/rows")"; cat "$work/rows.txt"; exit 1; }
done
echo "both builds of the example play and follow the rows"
