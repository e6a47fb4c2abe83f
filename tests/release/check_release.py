#!/usr/bin/env python3
"""Checks that the release in dist/ agrees with itself and with the build: the names carry
the version of CMakeLists.txt, SHA256SUMS holds the files' hashes, the zip holds the program
built and its README, the version resources say the version, and the manifests name the
installer by its real hash. Ends with "N passed, N failed".

Usage: check_release.py [--dist DIR] [--windows-build DIR]
"""
import argparse
import hashlib
import os
import re
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class Failed(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failed(message)


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def stated_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        found = re.search(r"^project\(velmora VERSION (\d+\.\d+\.\d+)", f.read(), re.M)
    expect(found, "CMakeLists.txt states no version")
    return found.group(1)


def version_text(data, key):
    """The text of a version resource's string (UTF-16), as Explorer shows it."""
    at = data.find(key.encode("utf-16-le") + b"\0\0")
    expect(at >= 0, f"no {key} in the version resource")
    start = at + 2 * len(key) + 2
    start += start % 4  # the value is aligned to 32 bits
    end = data.find(b"\0\0", start)
    end += (end - start) % 2
    return data[start:end].decode("utf-16-le")


def manifest_fields(text):
    """Top-level and list-item keys of a manifest: {key: value}."""
    return dict(re.findall(r"^(?:- |  )?(\w+): (.*)$", text, re.M))


class Release:
    def __init__(self, dist, windows_build):
        self.version = stated_version()
        self.dist = dist
        self.zip = f"velmora-{self.version}-win64.zip"
        self.setup = f"velmora-{self.version}-setup.exe"
        self.program = self.read(os.path.join(windows_build, "velmora.exe"))

    def read(self, *path):
        with open(os.path.join(self.dist, *path), "rb") as f:
            return f.read()

    def check_files(self):
        names = sorted(os.listdir(self.dist))
        expect(names == sorted(["SHA256SUMS", self.zip, self.setup, "winget"]), f"dist holds {names}")

    def check_sums(self):
        lines = self.read("SHA256SUMS").decode("ascii").splitlines()
        listed = dict(reversed(line.split("  ", 1)) for line in lines)
        expect(sorted(listed) == sorted([self.zip, self.setup]), f"SHA256SUMS lists {sorted(listed)}")
        for name, digest in listed.items():
            expect(digest == sha256(self.read(name)), f"SHA256SUMS: {name} has another hash")

    def check_zip(self):
        with zipfile.ZipFile(os.path.join(self.dist, self.zip)) as archive:
            entries = archive.infolist()
            expect(sorted(e.filename for e in entries) == ["README.txt", "velmora.exe"],
                   f"the zip holds {[e.filename for e in entries]}")
            expect(len({e.date_time for e in entries}) == 1, "the zip's entries have different times")
            expect(archive.read("velmora.exe") == self.program, "the zip's velmora.exe is not the one built")
            readme = archive.read("README.txt").decode("utf-8")
        expect("\r\n" in readme and "\n" not in readme.replace("\r\n", ""), "README.txt lines do not end in CRLF")
        expect(f"Version {self.version}\r\n" in readme, "README.txt does not say the version")

    def check_versions(self):
        for name, data in (("velmora.exe", self.program), (self.setup, self.read(self.setup))):
            for key in ("FileVersion", "ProductVersion"):
                text = version_text(data, key)
                expect(text == f"{self.version}.0", f"{name}: {key} {text!r}")

    def check_manifests(self):
        folder = os.path.join(self.dist, "winget")
        manifests = {}
        for name in sorted(os.listdir(folder)):
            fields = manifest_fields(self.read("winget", name).decode("utf-8"))
            manifests[fields.get("ManifestType")] = fields
        expect(sorted(manifests) == ["defaultLocale", "installer", "version"],
               f"manifest types {sorted(manifests)}")
        for kind, fields in manifests.items():
            expect(fields["PackageVersion"] == self.version, f"{kind}: PackageVersion {fields['PackageVersion']}")
            expect(fields["PackageIdentifier"] == manifests["version"]["PackageIdentifier"],
                   f"{kind}: another PackageIdentifier")
        expect(manifests["version"]["DefaultLocale"] == manifests["defaultLocale"]["PackageLocale"],
               "the default locale has no manifest")
        installer = manifests["installer"]
        expected = {"InstallerType": "nullsoft", "Scope": "user", "ProductCode": "VelmoraTitleBackground",
                    "InstallerSha256": sha256(self.read(self.setup)).upper()}
        for key, value in expected.items():
            expect(installer.get(key) == value, f"installer manifest: {key} {installer.get(key)!r}, expected {value!r}")
        expect(installer["InstallerUrl"].endswith("/" + self.setup), f"InstallerUrl {installer['InstallerUrl']}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist", default=os.path.join(ROOT, "dist"))
    parser.add_argument("--windows-build", default=os.path.join(ROOT, "build-windows"))
    options = parser.parse_args()
    release = Release(options.dist, options.windows_build)
    passed = failed = 0
    for name in ("files", "sums", "zip", "versions", "manifests"):
        try:
            getattr(release, "check_" + name)()
            passed += 1
            print(f"PASS release {name}")
        except (Failed, OSError, KeyError) as error:
            failed += 1
            print(f"FAIL release {name}: {type(error).__name__}: {error}")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
