#!/usr/bin/env python3
"""Checks the bash completion of tavrinctl against the program itself.

Runs the completion function in bash (with the bash-completion library) and
checks that it offers every command and every option that `tavrinctl --help`
lists, and every parameter code of the parameter tables after `read`.

  check_completion.py TAVRINCTL COMPLETION_FILE PARAM_TABLE_CPP
"""
import re
import subprocess
import sys

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


def main():
    tavrinctl, completion, param_table = sys.argv[1:4]
    options, commands = help_words(tavrinctl)
    codes = table_codes(param_table)
    problems = []
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
    for option in ("--interval", "--count", "--csv", "--json"):
        if option not in complete(completion, ["tavrinctl", "-i", "127.0.0.1", "watch", "-"]):
            problems.append(f"watch does not offer {option}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
