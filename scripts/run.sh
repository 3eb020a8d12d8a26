#!/usr/bin/env bash
# Sets up a fresh machine, builds Brimlow in both flavours and runs its main
# job.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages
build_native
build_win32
echo "Brimlow 1.00 (Release): core runtime built in $ROOT/build/native and $ROOT/build/win32"
