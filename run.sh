#!/usr/bin/env bash
# Builds Voxaldrift and starts the game from its run folder (build/run):
# the program, its pictures, sounds and music, the opponent plug-ins and the
# MIDI library. Arguments are passed to the game.
set -euo pipefail
cd "$(dirname "$0")"
./install-deps.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
# Warnings stay warnings here, also when ./test.sh last configured build/.
cmake -S . -B build -G Ninja -DVOX_WERROR=OFF >/dev/null
cmake --build build -j "$(nproc)" --target voxaldrift vox_assets
cd build/run
exec ./voxaldrift "$@"
