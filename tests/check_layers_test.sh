#!/usr/bin/env bash
# The layer check fails on an upward or sideways include and passes a tree
# that stacks; then it passes the real tree.
set -euo pipefail
check=$1
root=$2
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

mkdir -p "$tree/src/components" "$tree/src/frame" "$tree/src/documents" "$tree/src/effects" "$tree/src/app"
echo '#include "components/a.h"' > "$tree/src/frame/ok.cpp"
echo '#include "frame/ok.h"'      > "$tree/src/app/ok.cpp"
"$check" "$tree" >/dev/null || { echo "a stacked tree was refused"; exit 1; }

echo '#include "app/main_window.h"' > "$tree/src/frame/up.cpp"
if "$check" "$tree" 2>/dev/null; then echo "an upward include passed"; exit 1; fi
rm "$tree/src/frame/up.cpp"

echo '#include "effects/x.h"' > "$tree/src/documents/side.h"
if "$check" "$tree" 2>/dev/null; then echo "a sideways include passed"; exit 1; fi
rm "$tree/src/documents/side.h"

mkdir -p "$tree/tests/frame"
echo '  #  include "app/commands.h"' > "$tree/tests/frame/t.cpp"
if "$check" "$tree" 2>/dev/null; then echo "an upward include in a test passed"; exit 1; fi

"$check" "$root"
