"""cmake --install puts the module where the system's python3 finds it
under the prefix, and the installed copy works on its own."""
import glob
import os
import subprocess
import sys


def test_installed_module_imports_from_the_prefix(tmp_path):
    prefix = tmp_path / "prefix"
    r = subprocess.run([os.environ["SLIPVEL_CMAKE"], "--install", os.environ["SLIPVEL_BUILD_DIR"], "--prefix",
                        str(prefix)], capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stderr
    folder = prefix / os.environ["SLIPVEL_PYTHON_DIR"]
    assert folder.parts[-1] == "dist-packages" and folder.parts[-2] == "python%d.%d" % sys.version_info[:2]
    assert [os.path.basename(p) for p in glob.glob(str(folder / "slipvel*"))] == \
        ["slipvel" + __import__("sysconfig").get_config_var("EXT_SUFFIX")]
    code = ("import numpy, slipvel; print(slipvel.__file__); "
            "print(slipvel.pulse(6, 4.65, 4.32, 2.8).td == numpy.float32(0.0530516468))")
    env = dict(os.environ, PYTHONPATH=str(folder))
    r = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert r.stdout.splitlines() == [str(next(folder.glob("slipvel*"))), "True"], r.stderr
