#!/usr/bin/env python3
"""The release's files beside the installer: the zip, SHA256SUMS and the package manager's
manifests. Every entry carries the given time, so that the same input gives the same bytes.

Usage: release_files.py --version X.Y.Z --program velmora.exe --readme README.txt
                        --epoch SECONDS --url BASE DIST
DIST already holds velmora-X.Y.Z-setup.exe; BASE is where the files will be published.
"""
import argparse
import hashlib
import os
import time
import zipfile

PACKAGE_ID = "Velmora.TitleBackground"
PRODUCT_CODE = "VelmoraTitleBackground"  # the installer's Uninstall key
PUBLISHER = "The Velmora Title Background developers"
NAME = "Velmora Title Background"
MANIFEST_VERSION = "1.6.0"
SCHEMA = "# yaml-language-server: $schema=https://aka.ms/winget-manifest.{}.{}.schema.json\n"
ZIP_EARLIEST = 315532800  # 1980-01-01, the first time a zip entry can hold


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def write_text(path, text):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def write_zip(path, entries, epoch):
    """entries: (name in the zip, bytes). Windows' own attributes (archive), no Unix modes."""
    stamp = time.gmtime(max(epoch, ZIP_EARLIEST))[:6]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 0
            info.external_attr = 0x20
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)


def manifests(version, setup_url, setup_sha256):
    head = f"PackageIdentifier: {PACKAGE_ID}\nPackageVersion: {version}\n"
    tail = lambda kind: f"ManifestType: {kind}\nManifestVersion: {MANIFEST_VERSION}\n"
    return {
        f"{PACKAGE_ID}.yaml": SCHEMA.format("version", MANIFEST_VERSION) + head +
        "DefaultLocale: en-US\n" + tail("version"),
        f"{PACKAGE_ID}.locale.en-US.yaml": SCHEMA.format("defaultLocale", MANIFEST_VERSION) + head +
        "PackageLocale: en-US\n"
        f"Publisher: {PUBLISHER}\n"
        f"PackageName: {NAME}\n"
        "License: Proprietary\n"
        "ShortDescription: An endless, procedurally animated title-screen background: "
        "fullscreen, in a window, or as the live desktop wallpaper.\n"
        "Tags:\n- wallpaper\n- live-wallpaper\n- background\n" + tail("defaultLocale"),
        f"{PACKAGE_ID}.installer.yaml": SCHEMA.format("installer", MANIFEST_VERSION) + head +
        "MinimumOSVersion: 10.0.0.0\n"
        "InstallerType: nullsoft\n"
        "Scope: user\n"
        "InstallModes:\n- interactive\n- silent\n- silentWithProgress\n"
        "UpgradeBehavior: install\n"
        f"ProductCode: {PRODUCT_CODE}\n"
        "Installers:\n"
        "- Architecture: x64\n"
        f"  InstallerUrl: {setup_url}\n"
        f"  InstallerSha256: {setup_sha256.upper()}\n" + tail("installer"),
    }


def main():
    parser = argparse.ArgumentParser()
    for option in ("--version", "--program", "--readme", "--url"):
        parser.add_argument(option, required=True)
    parser.add_argument("--epoch", type=int, required=True)
    parser.add_argument("dist")
    options = parser.parse_args()
    version, dist = options.version, options.dist

    zip_name = f"velmora-{version}-win64.zip"
    setup_name = f"velmora-{version}-setup.exe"
    with open(options.program, "rb") as f:
        program = f.read()
    with open(options.readme, encoding="utf-8") as f:
        readme = f.read().replace("@VERSION@", version).replace("\n", "\r\n").encode("utf-8")
    write_zip(os.path.join(dist, zip_name), [("velmora.exe", program), ("README.txt", readme)],
              options.epoch)

    write_text(os.path.join(dist, "SHA256SUMS"),
               "".join(f"{sha256(os.path.join(dist, name))}  {name}\n" for name in (zip_name, setup_name)))

    winget = os.path.join(dist, "winget")
    os.makedirs(winget, exist_ok=True)
    setup_url = options.url.rstrip("/") + "/" + setup_name
    for name, text in manifests(version, setup_url, sha256(os.path.join(dist, setup_name))).items():
        write_text(os.path.join(winget, name), text)


if __name__ == "__main__":
    main()
