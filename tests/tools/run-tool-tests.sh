#!/usr/bin/env bash
# Runs the tests of the Python tools (tests/tools/test_*.py) with Debian's Python, which has
# Debian's GDAL, numpy and netCDF4: another python3 earlier on PATH may lack them.
# Usage: tests/tools/run-tool-tests.sh BUILD_DIR   (runoff-sim is BUILD_DIR/runoff_sim/runoff-sim)
set -euo pipefail
if (($# != 1)); then
  echo "usage: $0 BUILD_DIR"
  exit 1
fi
here=$(cd "$(dirname "$0")" && pwd)
sim=$(cd "$1" 2>/dev/null && pwd)/runoff_sim/runoff-sim
if [[ ! -x $sim ]]; then
  echo "$0: no runoff-sim at $1/runoff_sim/runoff-sim; build it first"
  exit 1
fi
export RUNOFF_SIM=$sim
export PYTHONDONTWRITEBYTECODE=1
/usr/bin/python3 - "$here" <<'PYTHON'
import sys
import unittest

suite = unittest.defaultTestLoader.discover(sys.argv[1], pattern="test_*.py",
                                            top_level_dir=sys.argv[1])
result = unittest.TextTestRunner(verbosity=2).run(suite)
failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
skipped = len(result.skipped)
print(f"tools: {result.testsRun - failed - skipped} passed, {failed} failed, {skipped} skipped")
sys.exit(0 if result.wasSuccessful() and result.testsRun > 0 else 1)
PYTHON
