#!/usr/bin/env python3
"""Checks the bridge's MIB, deploy/mibs/TAVRIN-RECEIVER-MIB.

  - the SMI modules it imports (SNMPv2-SMI, SNMPv2-TC, SNMPv2-CONF) come from
    the npm registry's net-snmp package 3.29.2 (MIT licence, lib/mibs/),
    fetched once into CACHE_DIR and checked against its SHA-256; no network
    and no cached copy is a failure, never a pass;
  - smilint -l 6 with SMIPATH at them prints nothing but warnings;
  - Net-SNMP's snmptranslate, with -M at them, places the module under the
    build's enterprise number.
Usage: check_mib.py CACHE_DIR ENTERPRISE_NUMBER
"""
import fcntl
import hashlib
import json
import os
import subprocess
import sys
import tarfile
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
MIB_DIR = os.path.join(ROOT, "deploy", "mibs")
MODULE = "TAVRIN-RECEIVER-MIB"
PACKAGE = "net-snmp-3.29.2.tgz"
URL = "https://registry.npmjs.org/net-snmp/-/" + PACKAGE
SHA256 = "a89a7a7e29638b5353aa246563821172754ff1980bfc4b5dbd09dc1b217c6f04"
SMI_MODULES = ("SNMPv2-SMI", "SNMPv2-TC", "SNMPv2-CONF")


def fail(why):
    sys.exit("FAILED: " + why)


def smi_modules(cache):
    """The folder of the three SMI modules, fetched when not there yet.

    Several checks share one cache and may start together: the whole fetch and
    unpacking is done under an exclusive lock, and each file lands by rename,
    so no check ever reads another's half-written file."""
    os.makedirs(cache, exist_ok=True)
    with open(os.path.join(cache, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        return unpacked_modules(cache)


def land(folder, name, data):
    """Writes `data` as folder/name by rename, never in place."""
    fd, part = tempfile.mkstemp(dir=folder, prefix=name + ".")
    with os.fdopen(fd, "wb") as out:
        out.write(data)
    os.chmod(part, 0o644)
    os.replace(part, os.path.join(folder, name))


def unpacked_modules(cache):
    tarball = os.path.join(cache, PACKAGE)
    if not os.path.exists(tarball):
        fd, part = tempfile.mkstemp(dir=cache, prefix=PACKAGE + ".")
        os.close(fd)
        done = subprocess.run(["curl", "-fsSL", "--max-time", "60", "-o", part, URL], capture_output=True, text=True)
        if done.returncode != 0:
            os.remove(part)
            fail(f"cannot fetch {URL}: {done.stderr.strip()}")
        os.replace(part, tarball)
    with open(tarball, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    if digest != SHA256:
        os.remove(tarball)
        fail(f"{PACKAGE}: SHA-256 {digest}, not {SHA256}")
    mibs = os.path.join(cache, "mibs")
    os.makedirs(mibs, exist_ok=True)
    with tarfile.open(tarball) as tar:
        meta = json.load(tar.extractfile("package/package.json"))
        if (meta.get("version"), meta.get("license")) != ("3.29.2", "MIT"):
            fail(f"{PACKAGE}: version {meta.get('version')}, licence {meta.get('license')}")
        for name in SMI_MODULES:
            land(mibs, name, tar.extractfile(f"package/lib/mibs/{name}.mib").read())
    return mibs


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    mibs = smi_modules(sys.argv[1])
    number = sys.argv[2]
    path = os.path.join(MIB_DIR, MODULE)

    lint = subprocess.run(["smilint", "-l", "6", path], capture_output=True, text=True,
                          env=dict(os.environ, SMIPATH=mibs), timeout=60)
    lines = (lint.stdout + lint.stderr).splitlines()
    bad = [line for line in lines if ": warning: " not in line]
    if lint.returncode != 0 or bad:
        fail("smilint -l 6 " + path + "\n" + "\n".join(bad or lines))

    translate = subprocess.run(["snmptranslate", "-M", mibs + ":" + MIB_DIR, "-m", MODULE, "-On",
                                MODULE + "::tavrinReceiverMIB"], capture_output=True, text=True, timeout=60)
    oid = translate.stdout.strip()
    if translate.returncode != 0 or oid != f".1.3.6.1.4.1.{number}.1":
        fail(f"snmptranslate gives {oid!r} for tavrinReceiverMIB, not under enterprise {number}\n{translate.stderr}")
    print(f"mib: ok ({len(lines)} warnings, enterprise {number})")


if __name__ == "__main__":
    main()
