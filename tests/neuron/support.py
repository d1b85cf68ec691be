"""Shared by the exporter's tests: where the tools are, and reading a data file
back through the C++ reader (dendrovia-dump prints what it loaded as JSON)."""

import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "..", "..", "tools", "neuron")
EXPORTER = os.path.join(TOOLS, "dendrovia_export.py")
PYRAMID = os.path.join(TOOLS, "make_pyramid_sample.py")
RING = os.path.join(TOOLS, "ring_network.py")
DUMP = os.environ.get("DENDROVIA_DUMP", "dendrovia-dump")

os.environ.setdefault("NEURON_MODULE_OPTIONS", "-nogui")
sys.path.insert(0, TOOLS)


def read_back(path, frames=True):
    """The model and frames of `path` as TNeuronDataFile loads them."""
    command = [DUMP, path] if frames else [DUMP, "--no-frames", path]
    result = subprocess.run(command, capture_output=True, text=True, timeout=120)
    if result.returncode != 0:
        raise AssertionError(f"{path} does not load: {result.stderr.strip()}")
    return json.loads(result.stdout)


def run_python(*arguments, cwd=None, env=None):
    return subprocess.run(
        [sys.executable, *arguments], capture_output=True, text=True, timeout=300, cwd=cwd,
        env=env,
    )


MPIEXEC = shutil.which("mpiexec")
# Open MPI refuses to run as root (as CI does) without these, and more
# processes than cores without the last.
MPI_ENVIRONMENT = {
    "OMPI_ALLOW_RUN_AS_ROOT": "1",
    "OMPI_ALLOW_RUN_AS_ROOT_CONFIRM": "1",
    "OMPI_MCA_rmaps_base_oversubscribe": "1",
}


def run_mpi(processes, *arguments, cwd=None, env=None):
    """`python3 arguments` in `processes` processes started by mpiexec."""
    return subprocess.run(
        [MPIEXEC, "-n", str(processes), sys.executable, *arguments], capture_output=True,
        text=True, timeout=300, cwd=cwd, env=dict(env or os.environ, **MPI_ENVIRONMENT),
    )
