#!/usr/bin/env python3
"""Checks the bash completion of tavrinctl, and the manual page's lists,
against the program itself and the parameter tables.

Runs the completion function in bash (with the bash-completion library) and
checks that it offers every command and every option that `tavrinctl --help`
lists, every parameter code of the parameter tables after `read` and exactly
the writable ones after `write`, the ports present after `--com`, and after a
command the options that apply to it; and that the manual page lists the
commands of `tavrinctl --help` and the codes of the tables.

  check_completion.py TAVRINCTL COMPLETION_FILE PARAM_TABLE_CPP MANUAL_SCD
"""
import os
import re
import subprocess
import sys
import tempfile

BASH_COMPLETION = "/usr/share/bash-completion/bash_completion"


def complete(completion_file, words):
    """The candidates the completion offers for `words` (the last one is being typed)."""
    quoted = " ".join("'" + w.replace("'", "'\\''") + "'" for w in words)
    script = f"""
source {BASH_COMPLETION}
source '{completion_file}'
COMP_WORDS=({quoted}); COMP_CWORD=$((${{#COMP_WORDS[@]}}-1))
COMP_LINE="${{COMP_WORDS[*]}}"; COMP_POINT=${{#COMP_LINE}}
_tavrinctl
printf '%s\\n' "${{COMPREPLY[@]}}"
"""
    out = subprocess.run(["bash", "-c", script], capture_output=True, text=True, check=True).stdout
    return set(line for line in out.splitlines() if line)


def help_words(tavrinctl):
    text = subprocess.run([tavrinctl, "--help"], capture_output=True, text=True, check=True).stdout
    head, commands_part = text.split("\nCommands:\n", 1)
    commands_part = commands_part.split("\nEnvironment:", 1)[0]
    options = set(re.findall(r"^\s+(?:(-[A-Za-z]), )?(--[a-z][a-z-]*)", head, re.M))
    flat = {o for pair in options for o in pair if o}
    commands = set(re.findall(r"^  ([a-z][a-z-]*)\b", commands_part, re.M))
    return flat, commands


def table_codes(param_table):
    source = open(param_table, encoding="utf-8").read()
    block = source[source.index("kLabels[]"):]
    block = block[: block.index("};")]
    return set(re.findall(r'\{"(\w{4})",', block))


def table_rows(param_table):
    """Every code of the tables' rows, and those the unit takes writes for."""
    rows = re.findall(r'\{\.code = "(\w{4})"(, \.writable = 1)?', open(param_table, encoding="utf-8").read())
    return {code for code, _ in rows}, {code for code, writable in rows if writable}


def manual_problems(manual, commands, codes, writable):
    """The manual's COMMANDS section names each command; its PARAMETER CODES
    section lists the codes read takes and the ones write takes."""
    text = open(manual, encoding="utf-8").read()
    section = lambda name: text.split("\n# " + name + "\n", 1)[1].split("\n# ", 1)[0]
    problems = []
    listed = set(re.findall(r"^\*([a-z][a-z-]*)\*", section("COMMANDS"), re.M))
    if listed != commands:
        problems.append(f"the manual's commands differ: missing {sorted(commands - listed)}, "
                        f"extra {sorted(listed - commands)}")
    part = section("PARAMETER CODES")
    for name, wanted in (("read", codes), ("write", writable)):
        found = re.search(r"^\*" + name + r"\*:\n((?:\t.*\n)+)", part, re.M)
        listed = set(found.group(1).split()) if found else set()
        if listed != wanted:
            problems.append(f"the manual's {name} codes differ: missing {sorted(wanted - listed)}, "
                            f"extra {sorted(listed - wanted)}")
    return problems


def main():
    tavrinctl, completion, param_table, manual = sys.argv[1:5]
    options, commands = help_words(tavrinctl)
    codes = table_codes(param_table)
    all_codes, writable = table_rows(param_table)
    problems = manual_problems(manual, commands, all_codes, writable)
    if len(commands) < 10 or len(options) < 15 or len(codes) < 40:
        problems.append(f"too few words found: {len(commands)} commands, {len(options)} options, {len(codes)} codes")
    offered_commands = complete(completion, ["tavrinctl", "--ip", "127.0.0.1", ""])
    offered_options = complete(completion, ["tavrinctl", "-"])
    offered_codes = complete(completion, ["tavrinctl", "-i", "127.0.0.1", "read", ""])
    for name, wanted, offered in (("command", commands | {"watch"}, offered_commands),
                                  ("option", options, offered_options),
                                  ("code", codes, offered_codes)):
        for word in sorted(wanted - offered):
            problems.append(f"the completion does not offer the {name} {word}")
    for command, wanted in (("watch", ("--interval", "--count", "--csv", "--json")),
                            ("alarms", ("--alarm-rules", "--interval", "--count", "--json"))):
        for option in wanted:
            if option not in complete(completion, ["tavrinctl", "-i", "127.0.0.1", command, "-"]):
                problems.append(f"{command} does not offer {option}")
    # Exactly the codes: every one after read, the writable ones after write.
    for command, wanted in (("read", all_codes), ("write", writable)):
        offered = complete(completion, ["tavrinctl", "-i", "127.0.0.1", command, ""])
        if offered != wanted:
            problems.append(f"{command} offers {sorted(offered - wanted)} too and lacks {sorted(wanted - offered)}")
    # After a command, the options that apply to it; help names the commands.
    status_options = complete(completion, ["tavrinctl", "-i", "127.0.0.1", "status", "--"])
    if "--json" not in status_options or "--interval" in status_options:
        problems.append(f"status offers {sorted(status_options)}")
    if complete(completion, ["tavrinctl", "help", ""]) != commands:
        problems.append("help does not offer the commands")
    # --com: the ports present, here a link ports/COM7 in the program folder.
    with tempfile.TemporaryDirectory() as folder:
        os.mkdir(folder + "/ports")
        os.symlink("/dev/null", folder + "/ports/COM7")
        ports = complete(completion, ["tavrinctl", "--program-folder", folder, "--com", ""])
        if "7" not in ports or not all(p.isdigit() for p in ports):
            problems.append(f"--com offers {sorted(ports)}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
