#!/usr/bin/env python3
"""Checks the deployment examples in deploy/.

  - promtool check config (with the rule file), check rules, test rules pass;
  - the Grafana dashboard is valid JSON, and every metric its expressions name
    is one the bridge exports: the list comes from a real bridge's /metrics,
    in front of a simulated unit started here;
  - the bridge's manual page describes every family the bridge exports;
  - the systemd units pass systemd-analyze verify (when that is present),
    the template as an instance, with ExecStart pointed at the built bridge.
Usage: check_deploy.py BIN_DIR
"""
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DEPLOY = os.path.join(ROOT, "deploy")


def run(*args):
    done = subprocess.run(args, capture_output=True, text=True, timeout=120)
    if done.returncode != 0:
        sys.exit(f"FAILED: {' '.join(args)}\n{done.stdout}{done.stderr}")


def expressions(node):
    if isinstance(node, dict):
        for key, value in node.items():
            if key in ("expr", "definition") and isinstance(value, str):
                yield value
            elif key == "query" and isinstance(value, str):
                yield value
            else:
                yield from expressions(value)
    elif isinstance(node, list):
        for item in node:
            yield from expressions(item)


def exported_metrics(bin_dir):
    """The families a running bridge lists in its exposition (# TYPE lines)."""
    octets = [random.randint(1, 254) for _ in range(3)]
    unit_ip = "127.%d.%d.%d" % tuple(octets)
    bridge_ip = "127.%d.%d.%d" % (octets[0], octets[1], octets[2] % 254 + 1)
    sim = subprocess.Popen([os.path.join(bin_dir, "tavrin_unit_sim"), "--no-serial", "--tcp", unit_ip,
                            "--no-drift"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    bridge = None
    try:
        time.sleep(0.3)
        bridge = subprocess.Popen([os.path.join(bin_dir, "tavrin_bridge"), "--ip", unit_ip, "--listen", bridge_ip,
                                   "--metrics", bridge_ip + ":9464", "--interval", "100"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while time.time() < deadline:
            try:
                text = urllib.request.urlopen(f"http://{bridge_ip}:9464/metrics", timeout=2).read().decode()
                if "tavrin_unit_info{" in text:
                    families = set(re.findall(r"^# TYPE (\S+) (\S+)", text, re.M))
                    names = set()
                    for name, kind in families:
                        names.add(name)
                        if kind == "histogram":
                            names.update({name + "_bucket", name + "_sum", name + "_count"})
                    return names
            except OSError:
                pass
            time.sleep(0.2)
        sys.exit("FAILED: no metrics from the bridge")
    finally:
        for p in (bridge, sim):
            if p:
                p.terminate()
                p.wait(timeout=10)


# The unit files, and the name verified: the template through an instance of it.
UNITS = [
    ("tavrin_bridge.service", "tavrin_bridge.service"),
    ("tavrin_bridge@.service", "tavrin_bridge@unit1.service"),
]


def verify_units(bin_dir):
    """systemd-analyze verify, with ExecStart pointed at the built bridge."""
    with tempfile.TemporaryDirectory() as folder:
        # Documentation=man:tavrin_bridge(1) is looked up with man: the page, built here.
        os.makedirs(os.path.join(folder, "man", "man1"))
        with open(os.path.join(ROOT, "packaging", "man", "tavrin_bridge.1.scd"), "rb") as source, \
                open(os.path.join(folder, "man", "man1", "tavrin_bridge.1"), "wb") as page:
            subprocess.run(["scdoc"], stdin=source, stdout=page, check=True, timeout=60)
        env = dict(os.environ, MANPATH=os.path.join(folder, "man"))
        for file_name, verified in UNITS:
            with open(os.path.join(DEPLOY, file_name), encoding="utf-8") as f:
                unit = f.read()
            if "ExecStart=/usr/bin/tavrin_bridge " not in unit:
                sys.exit(f"FAILED: {file_name} does not start /usr/bin/tavrin_bridge")
            with open(os.path.join(folder, file_name), "w", encoding="utf-8") as f:
                f.write(unit.replace("/usr/bin/tavrin_bridge", os.path.join(bin_dir, "tavrin_bridge")))
            done = subprocess.run(["systemd-analyze", "verify", os.path.join(folder, verified)],
                                  capture_output=True, text=True, timeout=60, env=env)
            # Without a running systemd (a container) verify cannot load units at all: say so, no
            # failure; a setting it could not parse ("..., ignoring") is one.
            stem = file_name.split("@")[0]
            problems = [l for l in (done.stdout + done.stderr).splitlines()
                        if stem in l and ("Failed to" not in l or "ignoring" in l)]
            if problems:
                sys.exit(f"FAILED: systemd-analyze verify {verified}:\n" + "\n".join(problems))


def main():
    bin_dir = sys.argv[1]
    run("promtool", "check", "config", os.path.join(DEPLOY, "prometheus.yml"))
    run("promtool", "check", "rules", os.path.join(DEPLOY, "tavrin_rules.yml"))
    run("promtool", "test", "rules", os.path.join(DEPLOY, "tavrin_rules_test.yml"))

    with open(os.path.join(DEPLOY, "grafana-dashboard.json"), encoding="utf-8") as f:
        dashboard = json.load(f)
    used = set()
    for expr in expressions(dashboard):
        used.update(re.findall(r"\b(tavrin_[a-z_]+)", expr))
    if not used:
        sys.exit("FAILED: the dashboard names no metric")
    exported = exported_metrics(bin_dir)
    unknown = sorted(used - exported)
    if unknown:
        sys.exit(f"FAILED: the dashboard uses metrics the bridge does not export: {unknown}")
    with open(os.path.join(DEPLOY, "tavrin_rules.yml"), encoding="utf-8") as f:
        in_rules = set(re.findall(r"expr:.*?\b(tavrin_[a-z_]+)", f.read()))
    unknown = sorted(in_rules - exported)
    if unknown:
        sys.exit(f"FAILED: the rules use metrics the bridge does not export: {unknown}")

    with open(os.path.join(ROOT, "packaging", "man", "tavrin_bridge.1.scd"), encoding="utf-8") as f:
        manual = f.read()
    described = set(re.findall(r"^_(tavrin_[a-z_]+)_", manual[manual.index("# METRICS"):], re.M))
    described.update(re.findall(r"^_tavrin_[a-z_]+_, _(tavrin_[a-z_]+)_", manual, re.M))
    families = {n for n in exported if not re.search(r"_(bucket|sum|count)$", n) or n[:n.rindex("_")] not in exported}
    unknown = sorted(families - described)
    if unknown:
        sys.exit(f"FAILED: the manual page's METRICS section does not describe: {unknown}")

    if shutil.which("systemd-analyze"):
        verify_units(bin_dir)
    print(f"deploy: ok ({len(used)} dashboard metrics, {len(exported)} exported)")


if __name__ == "__main__":
    main()
