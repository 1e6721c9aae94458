#!/usr/bin/env bash
# The whole test suite: installs what the tests need, lints the Python tree (ruff), then runs the
# C++ tests (plain and under AddressSanitizer + UndefinedBehaviorSanitizer), the worker pool test
# under ThreadSanitizer and the Python tests against the installed package.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -f /usr/include/gtest/gtest.h ]; then
  if command -v apt-get >/dev/null 2>&1; then
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -qq
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev cmake g++ >/dev/null
  else
    echo "GoogleTest (libgtest-dev) is required for the C++ tests" >&2
    exit 1
  fi
fi

PY=${PYTHON:-python3}
"$PY" -m pip install -q ".[test]"

echo "== Python lint (ruff, configured in pyproject.toml)"
"$PY" -m ruff check python tests/python benchmarks

GEN=()
command -v ninja >/dev/null 2>&1 && GEN=(-G Ninja)

echo "== C++ tests"
cmake -S . -B build/cpp-tests "${GEN[@]}" -DHANDSCRIBE_TESTS=ON -DHANDSCRIBE_PYTHON=OFF >/dev/null
cmake --build build/cpp-tests
ctest --test-dir build/cpp-tests --output-on-failure

echo "== C++ tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/cpp-sanitize "${GEN[@]}" -DHANDSCRIBE_TESTS=ON -DHANDSCRIBE_PYTHON=OFF \
  -DHANDSCRIBE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/cpp-sanitize
ctest --test-dir build/cpp-sanitize --output-on-failure

echo "== Worker pool test under ThreadSanitizer"
cmake -S . -B build/cpp-tsan "${GEN[@]}" -DHANDSCRIBE_TESTS=ON -DHANDSCRIBE_PYTHON=OFF \
  -DHANDSCRIBE_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/cpp-tsan --target test_pool
ctest --test-dir build/cpp-tsan --output-on-failure -R '^test_pool$'

echo "== Python tests"
# Run from the tests folder so that the installed package is imported.
"$PY" -m pytest -q tests/python
