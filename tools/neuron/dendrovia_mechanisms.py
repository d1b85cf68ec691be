"""NMODL mechanisms (.mod files) compiled with NEURON's nrnivmodl into a cache
outside their folder, once for each content, so a model's folder is never
written to and an unchanged folder is not compiled again.

    library = compile_mechanisms("model/mechanisms", neuron.__version__)
    h.nrn_load_dll(library)

The cache is $XDG_CACHE_HOME/dendrovia/mechanisms (default ~/.cache/...), one
folder per content key, made complete under a lock and renamed into place, so
that processes started together (the ranks of an MPI run) compile it once.

Debian 12's nrnivmodl cannot build as packaged: it looks for nrnmech_makefile
beside itself while the package installs it in /usr/lib/nrn with libnrniv.so,
and its final `special` executable needs a header the package lacks. The
makefile is given to it through NRNHOME_EXEC (a folder of links made for the
build), the library folder through -loadflags, and the shared library, built
before `special`, is all that Python needs.
"""

import fcntl
import hashlib
import os
import platform
import re
import shutil
import subprocess
import tempfile

# Files a .mod may include; the content key covers them too.
SOURCE_SUFFIXES = (".mod", ".inc", ".h")
LIBRARY = "libnrnmech.so"
# Where distributions put nrnmech_makefile and libnrniv.so when not beside nrnivmodl.
LIBRARY_FOLDERS = ("/usr/lib/nrn", "/usr/lib64/nrn")
# nrnivmodl's progress lines, left out of a compiler's complaint.
_PROGRESS = re.compile(
    r"^(\s*[-=]> |Translating |Thread Safe|Notice:|Mod files:|Creating |make(\[\d+\])?: |"
    r"Successfully |/|\s*$)"
)
_ANSI = re.compile(r"\x1b\[[0-9;]*m")
_FAILED_TARGET = re.compile(r"make(?:\[\d+\])?: \*\*\* \[[^\]]*?([^\s:/]+)\.[co]\] Error")


class MechanismError(RuntimeError):
    """Mechanisms that cannot be compiled, or no tools to compile them."""


def cache_root():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "dendrovia", "mechanisms")


def compiled_library(folder):
    """NEURON's own compiled library in `folder` (its x86_64/ or other
    machine folder, as nrnivmodl leaves it), or None."""
    for machine in (platform.machine(), "x86_64", "i686", "aarch64", "arm64"):
        for sub in (os.path.join(machine, ".libs"), machine):
            path = os.path.join(folder, sub, LIBRARY)
            if os.path.isfile(path):
                return path
    return None


def sources(folder):
    """The names of the files of `folder` that go into the build, sorted.
    Raises MechanismError when it holds no .mod file."""
    try:
        names = sorted(
            name for name in os.listdir(folder)
            if name.endswith(SOURCE_SUFFIXES) and os.path.isfile(os.path.join(folder, name))
        )
    except OSError as error:
        raise MechanismError(f"cannot read the mechanisms folder {folder}: {error.strerror}")
    if not any(name.endswith(".mod") for name in names):
        raise MechanismError(f"{folder} holds no .mod file")
    return names


def content_key(folder, names, version):
    """A digest of the files' names and contents, NEURON's version and the
    machine: the compiled library fits while it is the same."""
    digest = hashlib.sha256(f"{version}\0{platform.machine()}\0".encode())
    for name in names:
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        digest.update(f"{name}\0{len(data)}\0".encode())
        digest.update(data)
    return digest.hexdigest()[:20]


def _tools(build):
    """nrnivmodl's command (with the library folder to link against) and its
    environment. Raises MechanismError when a tool is missing."""
    nrnivmodl = shutil.which("nrnivmodl")
    if nrnivmodl is None:
        raise MechanismError(
            "nrnivmodl not found: install NEURON's development files (Debian: neuron-dev)"
        )
    compiler = os.environ.get("CC") or "cc"
    if shutil.which(compiler) is None:
        raise MechanismError(
            f"no C compiler found ({compiler}): install one (Debian: build-essential) "
            "to compile mechanisms"
        )
    environment = dict(os.environ)
    command = [nrnivmodl]
    bin_folder = os.path.dirname(os.path.realpath(nrnivmodl))
    if not os.path.isfile(os.path.join(bin_folder, "nrnmech_makefile")):
        folder = next((f for f in LIBRARY_FOLDERS
                       if os.path.isfile(os.path.join(f, "nrnmech_makefile"))), None)
        if folder is None:
            raise MechanismError("nrnivmodl's nrnmech_makefile not found")
        links = os.path.join(build, "nrnhome", "bin")
        os.makedirs(links)
        for name in ("nrnmech_makefile",):
            os.symlink(os.path.join(folder, name), os.path.join(links, name))
        for name in ("nocmodl", "modlunit"):
            tool = os.path.join(bin_folder, name)
            if os.path.exists(tool):
                os.symlink(tool, os.path.join(links, name))
        environment["NRNHOME_EXEC"] = os.path.dirname(links)
        if os.path.isfile(os.path.join(folder, "libnrniv.so")):
            command += ["-loadflags", f"-L{folder} -Wl,-rpath,{folder}"]
    return command, environment


def complaint(output):
    """The file that failed and the compiler's words from nrnivmodl's output."""
    output = _ANSI.sub("", output)
    failed = _FAILED_TARGET.search(output)
    lines = [line.rstrip() for line in output.splitlines() if not _PROGRESS.match(line)]
    name = f"{failed.group(1)}.mod" if failed else None
    return name, "\n".join(lines).strip()


def compile_mechanisms(folder, version, cache=None, announce=None):
    """The path of the compiled library of the .mod files in `folder`,
    compiled into the cache unless it is there already. `announce(text)` is
    told when a compilation starts. Raises MechanismError naming the .mod
    file that does not compile with the compiler's complaint."""
    folder = os.path.realpath(folder)
    names = sources(folder)
    key = content_key(folder, names, version)
    cache = cache or cache_root()
    target = os.path.join(cache, key)
    library = os.path.join(target, platform.machine(), LIBRARY)
    if os.path.isfile(library):
        return library
    os.makedirs(cache, exist_ok=True)
    with open(os.path.join(cache, key + ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.isfile(library):
            return library
        build = tempfile.mkdtemp(prefix=key + ".", dir=cache)
        try:
            command, environment = _tools(build)
            if announce:
                announce(f"compiling the mechanisms of {folder} into {target}")
            for name in names:
                shutil.copyfile(os.path.join(folder, name), os.path.join(build, name))
            mods = [name for name in names if name.endswith(".mod")]
            result = subprocess.run(
                command + mods, cwd=build, env=environment, stdout=subprocess.PIPE,
                stderr=subprocess.STDOUT, text=True, errors="replace",
            )
            # `special` fails to link on Debian; the library is built before it.
            if not os.path.isfile(os.path.join(build, platform.machine(), LIBRARY)):
                name, words = complaint(result.stdout)
                where = os.path.join(folder, name) if name else folder
                raise MechanismError(f"{where} does not compile:\n{words}")
            shutil.rmtree(os.path.join(build, "nrnhome"), ignore_errors=True)
            # Where the lock does not reach (another machine), the first one wins.
            if not os.path.isfile(library):
                shutil.rmtree(target, ignore_errors=True)
                os.rename(build, target)
        finally:
            shutil.rmtree(build, ignore_errors=True)
    return library
