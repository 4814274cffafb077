"""The build backend of the trellybridge package (PEP 517), in the source tree.

The package is pure Python, so a wheel is a zip of its files with three metadata files.
Building it needs nothing beyond the standard library: pip installs the package into a
plain virtual environment without fetching setuptools or wheel (no package index needed),
and Debian's pybuild builds it the same way."""

from __future__ import annotations

import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PACKAGE = "trellybridge"
# Fixed times keep a rebuilt wheel or sdist byte for byte the same (1980: zip's first year).
ZIP_TIME = (1980, 1, 1, 0, 0, 0)


def _project() -> dict:
    """The [project] table of pyproject.toml."""
    with open(os.path.join(ROOT, "pyproject.toml"), "rb") as f:
        text = f.read().decode("utf-8")
    try:
        import tomllib
    except ModuleNotFoundError:  # Python before 3.11: the table's plain keys are enough
        return _plain_table(text, "project")
    return tomllib.loads(text)["project"]


def _plain_table(text: str, name: str) -> dict:
    table = re.search(r"^\[%s\]\n(.*?)(?=^\[|\Z)" % re.escape(name), text, re.M | re.S)
    values = {}
    for key, value in re.findall(r'^([\w-]+)\s*=\s*(".*?"|\[.*?\])\s*$', table.group(1), re.M | re.S):
        values[key] = re.findall(r'"(.*?)"', value) if value.startswith("[") else value[1:-1]
    return values


def _version() -> str:
    with open(os.path.join(ROOT, PACKAGE, "__init__.py"), encoding="utf-8") as f:
        return re.search(r'^__version__ = "([^"]+)"', f.read(), re.M).group(1)


def _metadata() -> str:
    project = _project()
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {_version()}",
             f"Summary: {project['description']}"]
    lines += [f"Classifier: {c}" for c in project.get("classifiers", [])]
    lines += [f"Requires-Python: {project['requires-python']}",
              "Description-Content-Type: text/markdown", ""]
    with open(os.path.join(ROOT, project["readme"]), encoding="utf-8") as f:
        return "\n".join(lines) + "\n" + f.read()


def _package_files() -> list[str]:
    """The package's files, relative to the source root, in a stable order."""
    found = []
    for folder, folders, files in os.walk(os.path.join(ROOT, PACKAGE)):
        folders[:] = sorted(d for d in folders if d != "__pycache__")
        found += [os.path.relpath(os.path.join(folder, f), ROOT)
                  for f in sorted(files) if f.endswith((".py", ".typed"))]
    return found


def _wheel_name() -> str:
    return f"{PACKAGE}-{_version()}-py3-none-any.whl"


def _write_wheel(directory: str, extra: dict[str, bytes], with_package: bool) -> str:
    dist_info = f"{PACKAGE}-{_version()}.dist-info"
    members: dict[str, bytes] = {}
    if with_package:
        for path in _package_files():
            with open(os.path.join(ROOT, path), "rb") as f:
                members[path.replace(os.sep, "/")] = f.read()
    members.update(extra)
    members[f"{dist_info}/METADATA"] = _metadata().encode("utf-8")
    members[f"{dist_info}/WHEEL"] = (
        "Wheel-Version: 1.0\nGenerator: trellybridge_build\nRoot-Is-Purelib: true\n"
        "Tag: py3-none-any\n").encode()
    record = io.StringIO()
    for name, data in members.items():
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        record.write(f"{name},sha256={digest},{len(data)}\n")
    record.write(f"{dist_info}/RECORD,,\n")
    members[f"{dist_info}/RECORD"] = record.getvalue().encode()

    path = os.path.join(directory, _wheel_name())
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data in members.items():
            info = zipfile.ZipInfo(name, ZIP_TIME)
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
    return os.path.basename(path)


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, {}, with_package=True)


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    """An editable install: a .pth file that puts the source tree on the path."""
    return _write_wheel(wheel_directory, {f"{PACKAGE}.pth": (ROOT + "\n").encode()},
                        with_package=False)


def build_sdist(sdist_directory, config_settings=None):
    base = f"{PACKAGE}-{_version()}"
    files = ["pyproject.toml", "README.md", "backend/trellybridge_build.py"] + _package_files()
    path = os.path.join(sdist_directory, base + ".tar.gz")
    with tarfile.open(path, "w:gz", format=tarfile.PAX_FORMAT) as sdist:
        for name in files:
            sdist.add(os.path.join(ROOT, name), f"{base}/{name}", filter=_stable)
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata().encode("utf-8")
        info.size, info.mode = len(data), 0o644
        sdist.addfile(info, io.BytesIO(data))
    return os.path.basename(path)


def _stable(info: tarfile.TarInfo) -> tarfile.TarInfo:
    info.mtime, info.uid, info.gid, info.uname, info.gname = 0, 0, 0, "", ""
    info.mode = 0o644
    return info
