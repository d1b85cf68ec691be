"""Shared by the exporter's tests: where the tools are, and reading a data file
back through the C++ reader (dendrovia-dump prints what it loaded as JSON)."""

import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "..", "..", "tools", "neuron")
EXPORTER = os.path.join(TOOLS, "dendrovia_export.py")
PYRAMID = os.path.join(TOOLS, "make_pyramid_sample.py")
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


def run_python(*arguments, cwd=None):
    return subprocess.run(
        [sys.executable, *arguments], capture_output=True, text=True, timeout=300, cwd=cwd
    )
