"""The Windows-version matrix: chosen end-to-end tests run once under each
Windows version that Wine reports (the value "Version" of HKCU\\Software\\Wine
in the worker's prefix), and once more on a 64-bit prefix ("win64": Windows 10,
64-bit, with its own Wine environment). `./test.sh matrix` runs this folder;
tier 3 leaves it out.

    windows_version  the version the test runs under (every test here gets it;
                     @pytest.mark.windows_versions(...) narrows or widens the
                     list for one test)
    product_program  on "win64" the 64-bit target-program64.exe, so the agent
                     shuts down and restarts a 64-bit product
"""

from __future__ import annotations

import os
from pathlib import Path

import pytest

import harness

# Versions as Wine names them. win64 is Windows 10 on a 64-bit prefix.
VERSIONS = ("win98", "nt40", "winxp", "win7", "win10", "win64")
WIN64 = "win64"


def pytest_configure(config):
    config.addinivalue_line("markers", "windows_versions(*names): the versions a matrix test runs under")


def pytest_generate_tests(metafunc):
    marker = metafunc.definition.get_closest_marker("windows_versions")
    versions = marker.args if marker else VERSIONS
    # Session scope groups the tests by version, so a worker switches seldom.
    metafunc.parametrize("windows_version", versions, indirect=True, scope="session")


def set_reported_version(name: str) -> None:
    harness.set_registry_value(r"HKCU\Software\Wine", "Version", name)
    # A running wineserver keeps the old answer for programs it starts next.
    harness.restart_wineserver()


class Win64Environment:
    """A 64-bit Wine environment that replaces the worker's own in this
    process's environment while it is up (the programs started by the tests
    inherit it), and gives it back afterwards."""

    def __init__(self) -> None:
        worker = os.environ.get("PYTEST_XDIST_WORKER", "main")
        self.session = harness.WineSession(harness.REPO / "build" / "wine-run" / f"{worker}-win64", arch=WIN64)
        self.saved = {name: os.environ.get(name) for name in harness.WINE_ENV_EXPORTS}

    def __enter__(self):
        self.session.start()
        set_reported_version("win10")
        return self

    def __exit__(self, *exc) -> None:
        self.session.stop()
        for name, value in self.saved.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value


@pytest.fixture(scope="session")
def windows_version(request, wine_env):
    name = request.param
    if name == WIN64:
        with Win64Environment():
            yield name
        return
    set_reported_version(name)
    yield name


@pytest.fixture(autouse=True)
def _every_test_under_a_version(windows_version):
    """Makes every test of the folder ask for a version."""


@pytest.fixture
def product_program(artefacts, windows_version) -> Path:
    name = "target-program64.exe" if windows_version == WIN64 else "target-program.exe"
    return artefacts.launcher.parent / name
