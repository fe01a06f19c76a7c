#!/usr/bin/python3
"""Packs the release's module for Magisk, KernelSU and APatch: module.prop,
module/'s customize.sh, service.sh, action.sh and path_state.sh, each ABI's
device binary under abi/ABI/bootnote, and module/update-binary and
module/updater-script under META-INF/com/google/android/ for Magisk's app
before v29.
The same inputs give the same bytes: fixed times, modes and order.

  module_zip.py --version VERSION --out ZIP [--release-url URL --update-json FILE]
                ABI=BINARY...
  module_zip.py --check --version VERSION [--release-url URL]

With --release-url, module.prop names URL/update.json as its updateJson, and
FILE gets the update.json that goes there, whose zipUrl is URL/ZIP's name."""
import argparse
import json
import os
import re
import sys
import zipfile

ABIS = ("armeabi-v7a", "arm64-v8a", "x86", "x86_64")  # what customize.sh maps ARCH to
MODULE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "module")
# (file in module/, name in the zip, mode)
SCRIPTS = (("update-binary", "META-INF/com/google/android/update-binary", 0o755),
           ("updater-script", "META-INF/com/google/android/updater-script", 0o644),
           ("customize.sh", "customize.sh", 0o644),
           ("service.sh", "service.sh", 0o644),
           ("action.sh", "action.sh", 0o644),
           ("path_state.sh", "path_state.sh", 0o644))
STAMP = (1980, 1, 1, 0, 0, 0)  # the oldest time a zip can hold: no build's own


def version_code(version):
    """MAJOR.MINOR.PATCH as one integer that grows with it: 1.2.3 is 10203."""
    match = re.fullmatch(r"(\d+)\.(\d{1,2})\.(\d{1,2})", version)
    if not match:
        sys.exit("module_zip.py: VERSION %r is not MAJOR.MINOR.PATCH, minor and patch below 100"
                 % version)
    major, minor, patch = (int(part) for part in match.groups())
    return major * 10000 + minor * 100 + patch


def what_it_does():
    """The description's text, which service.sh puts after the state at each boot."""
    with open(os.path.join(MODULE, "path_state.sh")) as script:
        return re.search(r"^bootnote_does='([^']+)'$", script.read(), re.MULTILINE).group(1)


def module_prop(version, update_json):
    lines = ["id=bootnote", "name=bootnote", "version=" + version,
             "versionCode=%d" % version_code(version), "author=bootnote.example",
             "description=" + what_it_does()]
    if update_json:
        lines.append("updateJson=" + update_json)
    return "".join(line + "\n" for line in lines).encode()


def add(archive, name, data, mode):
    entry = zipfile.ZipInfo(name, STAMP)
    entry.create_system = 3  # Unix, so that the mode below is read
    entry.external_attr = (0o100000 | mode) << 16
    entry.compress_type = zipfile.ZIP_DEFLATED
    archive.writestr(entry, data, compresslevel=9)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--check", action="store_true",
                        help="only check VERSION and the release URL")
    parser.add_argument("--out")
    parser.add_argument("--release-url")
    parser.add_argument("--update-json")
    parser.add_argument("binaries", nargs="*", metavar="ABI=BINARY")
    options = parser.parse_args()
    version_code(options.version)  # before anything is made
    url = options.release_url.rstrip("/") if options.release_url else None
    if url and not re.fullmatch(r"https://[^/\s]+(/\S*)?", url):
        sys.exit("module_zip.py: the release URL %r is not https://HOST..." % url)
    if options.check:
        return
    abis = [b.split("=", 1)[0] for b in options.binaries]
    binaries = dict(b.split("=", 1) for b in options.binaries if "=" in b)
    if sorted(abis) != sorted(ABIS) or len(binaries) != len(abis):
        sys.exit("module_zip.py: want one binary for each of %s, got %s"
                 % (" ".join(ABIS), " ".join(binaries)))
    if not options.out or bool(options.release_url) != bool(options.update_json):
        sys.exit("module_zip.py: --out wanted, and --release-url and --update-json go together")
    with zipfile.ZipFile(options.out, "w") as archive:
        for name, entry, mode in SCRIPTS:
            with open(os.path.join(MODULE, name), "rb") as script:
                add(archive, entry, script.read(), mode)
        prop = module_prop(options.version, url and url + "/update.json")
        add(archive, "module.prop", prop, 0o644)
        for abi in ABIS:
            with open(binaries[abi], "rb") as binary:
                add(archive, "abi/%s/bootnote" % abi, binary.read(), 0o755)
    if url:
        update = {"version": options.version, "versionCode": version_code(options.version),
                  "zipUrl": "%s/%s" % (url, os.path.basename(options.out)),
                  "changelog": url + "/changelog.md"}
        with open(options.update_json, "w") as out:
            json.dump(update, out, indent=2)
            out.write("\n")


if __name__ == "__main__":
    main()
