"""Builds the motionseg Python module with the project's CMake build, configured for the
interpreter that runs pip and with only the module's target built (no plug-ins, programs,
tests or benchmarks; the programs' frame reader is compiled into the module). pyproject.toml holds the package's description.

MOTIONSEG_BUILD_DIR names the CMake build folder (default: build-python/ in the checkout, which
a later install reuses); CMAKE_BUILD_PARALLEL_LEVEL the number of compile jobs (default: the
cores); CMAKE_ARGS further options for the configuration (e.g. -DWITH_APPS=OFF on a machine
without libpng and libjpeg: the module then reads no image files)."""
import os
import pathlib
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
# Everything the build writes goes there, none of it into the sources (nor into build/, the
# CMake folder of `make build`).
BUILD = pathlib.Path(os.environ.get("MOTIONSEG_BUILD_DIR", ROOT / "build-python")).resolve()


class CMakeExtension(Extension):
    """The module, built by CMake instead of setuptools' own compiler calls."""

    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = BUILD / "cmake"
        cmake = shutil.which("cmake")
        if cmake is None:
            sys.exit("motionseg: building the module needs CMake 3.18 or later (Debian: cmake)")
        args = [
            f"-DPython3_EXECUTABLE={sys.executable}",
            "-DCMAKE_BUILD_TYPE=Release",
            "-DWITH_PYTHON=ON", "-DMOTIONSEG_REQUIRE_PYTHON=ON",
            "-DWITH_OCTAVE=OFF", "-DWITH_TESTS=OFF", "-DWITH_BENCHMARKS=OFF",
        ]
        try:  # pybind11 from a package index carries its CMake files
            import pybind11
            args.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:  # the system's (Debian: pybind11-dev)
            pass
        args += shlex.split(os.environ.get("CMAKE_ARGS", ""))
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run([cmake, "-S", str(ROOT), "-B", str(build), *args], check=True)
        subprocess.run([cmake, "--build", str(build), "--target", "motionseg", "-j", jobs],
                       check=True)
        # The build names the file with the interpreter's own extension suffix.
        built = build / "motionseg.location"
        module = pathlib.Path(built.read_text().strip())
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(module, target)


def version():
    return (ROOT / "VERSION").read_text().split()[0]


(BUILD / "metadata").mkdir(parents=True, exist_ok=True)
# One extension module and no Python packages (the folders of the tree are sources).
setup(version=version(), packages=[], py_modules=[], ext_modules=[CMakeExtension("motionseg")],
      cmdclass={"build_ext": CMakeBuild}, zip_safe=False,
      options={"build": {"build_base": str(BUILD / "setuptools")},
               "egg_info": {"egg_base": os.path.relpath(BUILD / "metadata", ROOT)}})
