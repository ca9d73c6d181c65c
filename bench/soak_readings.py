#!/usr/bin/env python3
"""Collects what a soak run (bench/soak.sh) read from its simulated units.

    soak_readings.py WORKDIR READINGS_TSV

Writes every accepted read reply found in the run's files to READINGS_TSV, one
"SOURCE<TAB>CODE<TAB>VALUE" a line, for tavrin_oracle_check (which judges them
by the unit's oracle), and prints the exchanges counted per source:

  WORKDIR/desktop.log          the desktop program's transaction log
  WORKDIR/bridge.log           the bridge's transaction log (its link to the unit)
  WORKDIR/ctl/read-*.out       `tavrinctl read CODE...`: "CODE STATUS DATA" lines
  WORKDIR/ctl/status-*.jsonl   `tavrinctl status --json`, one object a line
  WORKDIR/ctl/watch-*.jsonl    `tavrinctl watch --json`, one object a cycle
  WORKDIR/ctl/watch-*.csv      the CSV recordings of the same watches

A transaction log is read as bytes and cut at each "Sending message: ": the
request is the hex dump after it; a retried request logs "Retry sending
message" and is sent again; the exchange ends at "Returning OK" (accepted: the
kept reply is logged raw just before it, after the hex dump of what was
received; it may begin with the noise the link skipped) or "Returning with error code". The raw frame is cut by position
(STX, four address characters, status, data, ';', checksum, ETX), never at a
byte value, since the checksum may be any byte.

The watch's JSON writes a plain decimal value as a JSON number, which drops
trailing zeros ("18.0030" becomes 18.003): its SNR and level values are
written back with the four decimals every such value of the oracle has before
they are checked. The CSV recording of the same cycles keeps the unit's text
and is checked as it is.
"""
import csv
import glob
import json
import os
import re
import sys

HEX_CELLS = re.compile(rb"(?:[ 0-9a-f][0-9a-f] )*")
STX, ETX = 0x02, 0x03
# The poll cycle's columns (recordings, watch) and the codes they are read from.
COLUMN_CODES = {
    "demod_lock": "1loc", "packet_errors": "1pkt", "decoder_lock": "eloc",
    "snr_a_db": "1snr", "snr_b_db": "1mer", "snr_c_db": "1cer", "snr_d_db": "1dnr",
    "level_a_dbm": "1ina", "level_b_dbm": "1inb", "level_c_dbm": "1inc", "level_d_dbm": "1ind",
}
FOUR_DECIMALS = {"1snr", "1mer", "1cer", "1dnr", "1ina", "1inb", "1inc", "1ind"}


class Tally:
    def __init__(self):
        self.exchanges = 0
        self.accepted = 0
        self.failed = 0
        self.readings = 0

    def line(self, source):
        if self.exchanges == 0:   # a tool's output: only what it read is known
            return f"{source}: read values checked {self.readings}"
        return (f"{source}: exchanges {self.exchanges}, accepted {self.accepted}, "
                f"failed {self.failed}, read values checked {self.readings}")


def hex_bytes(text):
    return bytes(int(cell, 16) for cell in text.split())


def read_transaction_log(path, source, out, tally):
    """Accepted reads of a transaction log; counts its exchanges."""
    with open(path, "rb") as f:
        blob = f.read()
    blocks = blob.split(b"Sending message: ")[1:]
    for block in blocks:
        ok = b"Returning OK" in block
        if not ok and b"Returning with error code" not in block:
            continue   # a retried attempt (the next block sends it again), or the log's unfinished end
        tally.exchanges += 1
        if not ok:
            tally.failed += 1
            continue
        tally.accepted += 1
        request = hex_bytes(HEX_CELLS.match(block).group(0))
        # STX, four address characters, the operation, the code.
        if len(request) < 10 or request[0] != STX or request[5:6] != b"r":
            continue
        code = request[6:10].decode("latin-1")
        at = block.find(b"Response: ")
        end = block.rfind(b"\r\nReturning OK")
        if at < 0 or end < 0:
            continue
        rest = block[at + len(b"Response: "):end]
        serial_head = re.match(rb"\d+ bytes \([0-9.]+s\) ", rest)   # serial: count and time first
        if serial_head:
            rest = rest[serial_head.end():]
        rest = rest[HEX_CELLS.match(rest).end():]
        # What the link kept may begin with noise before the STX: the frame
        # starts at the last STX that is followed by the four address digits.
        frame = rest
        for start in range(len(rest) - 9, -1, -1):
            if rest[start] == STX and rest[start + 1:start + 5].isdigit():
                frame = rest[start:]
                break
        # STX, address (4), status, data, ';', checksum, ETX.
        if len(frame) < 9 or frame[0] != STX or frame[-1] != ETX or frame[-3:-2] != b";":
            print(f"{source}: an accepted reply that is no frame: {frame!r}", file=sys.stderr)
            out.append((source, code, frame.decode("latin-1")))
            continue
        if frame[5:6] != b"1":
            continue   # the unit refused the code: no value
        out.append((source, code, frame[6:-3].decode("latin-1")))
        tally.readings += 1


def read_ctl_reads(path, source, out, tally):
    with open(path, "rb") as f:
        for raw in f:
            parts = raw.decode("latin-1").rstrip("\n").split(" ", 2)
            if len(parts) == 3 and len(parts[0]) == 4 and parts[1] == "1":
                out.append((source, parts[0], parts[2]))
                tally.readings += 1


def json_lines(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        for raw in f:
            raw = raw.strip()
            if not raw:
                continue
            try:
                yield json.loads(raw)
            except json.JSONDecodeError:
                continue   # a line cut short when the run ended


def read_ctl_status(path, source, out, tally):
    for doc in json_lines(path):
        for row in doc.get("snr", []) + doc.get("levels", []):
            if row.get("status") == "1" and row.get("value") is not None:
                out.append((source, row["code"], row["value"]))
                tally.readings += 1
        if doc.get("packetErrors") is not None:
            out.append((source, "1pkt", str(doc["packetErrors"])))
            tally.readings += 1


def json_value_text(code, value):
    if isinstance(value, bool):
        return str(value)
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        return f"{value:.4f}" if code in FOUR_DECIMALS else repr(value)
    return str(value)


def read_ctl_watch_json(path, source, out, tally):
    for doc in json_lines(path):
        for column, code in COLUMN_CODES.items():
            value = doc.get(column)
            if value is not None:
                out.append((source, code, json_value_text(code, value)))
                tally.readings += 1


def read_ctl_watch_csv(path, source, out, tally):
    with open(path, newline="", encoding="latin-1") as f:
        rows = csv.DictReader(f)
        for row in rows:
            for column, code in COLUMN_CODES.items():
                value = row.get(column)
                if value:
                    out.append((source, code, value))
                    tally.readings += 1


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    work, readings_path = sys.argv[1], sys.argv[2]
    out = []
    tallies = {}

    def take(source, reader, path):
        tally = tallies.setdefault(source, Tally())
        reader(path, source, out, tally)

    for name, source in (("desktop.log", "desktop"), ("bridge.log", "bridge")):
        path = os.path.join(work, name)
        if os.path.exists(path):
            take(source, read_transaction_log, path)
    kinds = (("read-*.out", "read", read_ctl_reads), ("status-*.jsonl", "status", read_ctl_status),
             ("watch-*.jsonl", "watch-json", read_ctl_watch_json), ("watch-*.csv", "watch-csv", read_ctl_watch_csv))
    for pattern, kind, reader in kinds:
        for path in sorted(glob.glob(os.path.join(work, "ctl", pattern))):
            # read-direct.out, watch-bridge-2.jsonl: the route is the second word.
            route = os.path.basename(path).split(".")[0].split("-")[1]
            take(f"ctl-{kind}-{route}", reader, path)

    with open(readings_path, "w", encoding="latin-1", newline="\n") as f:
        for source, code, value in out:
            value = value.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")
            f.write(f"{source}\t{code}\t{value}\n")
    for source in sorted(tallies):
        print(tallies[source].line(source))
    return 0


if __name__ == "__main__":
    sys.exit(main())
