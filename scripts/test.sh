#!/usr/bin/env bash
# Builds from scratch if needed (with the test suite) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --tests
ctest --test-dir build --output-on-failure -j"$(nproc)"
