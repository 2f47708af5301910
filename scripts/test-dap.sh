#!/bin/sh
# The debug adapter (emu6502 --dap) driven by the Debug Adapter Protocol's
# own test client (@vscode/debugadapter-testsupport) from a mocha suite:
#
#   scripts/test-dap.sh BUILD/emu6502
#
# Installs the suite's npm packages (as package-lock.json pins them) into
# tests/dap/node_modules the first time.
set -eu
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cd "$(dirname "$0")/../tests/dap"
if ! "$binary" --version | grep -q "debug adapter: built in"; then
    echo "the debug adapter is not built (nlohmann-json missing?)" >&2
    exit 1
fi
[ -d node_modules ] || npm ci --no-audit --no-fund --loglevel=error
EMU6502_BINARY=$binary npx mocha --timeout 20000 adapter.test.js
