#!/usr/bin/env python3
"""The options and commands `veskosd --help` lists are those the man page (as `man -l` shows
it) and both shell completions offer."""
import os
import re
import subprocess
import sys

binary, page, bash_completion, zsh_completion = sys.argv[1:5]
OPTION = re.compile(r"(?<![\w-])(--?[a-z][a-z0-9-]*)")


def section(text, title, end_titles):
    """The lines of `title` up to the next of `end_titles`."""
    lines = text.splitlines()
    start = next(i for i, l in enumerate(lines) if l.strip() == title)
    stop = next((i for i in range(start + 1, len(lines)) if lines[i].strip() in end_titles),
                len(lines))
    return "\n".join(lines[start + 1 : stop])


help_text = subprocess.run([binary, "--help"], capture_output=True, text=True, check=True).stdout
help_options = set(OPTION.findall(section(help_text, "Options:", {"Subcommands:"})))
help_commands = set(re.findall(r"^  (\w+)\s", section(help_text, "Subcommands:", set()), re.M))
if len(help_options) < 15 or help_commands != {"post", "key", "status", "sim", "screenshot"}:
    sys.exit(f"--help was not read as expected: {help_options} {help_commands}")

env = dict(os.environ, MANWIDTH="200", LC_ALL="C.UTF-8")
man_text = subprocess.run(["man", "-l", page], capture_output=True, text=True, check=True,
                          env=env).stdout
# Options are set in the page's OPTIONS section as tags at the left margin.
man_options = set()
for line in section(man_text, "OPTIONS", {"COMMANDS"}).splitlines():
    if re.match(r"^ {7}-", line):
        man_options |= set(OPTION.findall(line))
man_commands = set(re.findall(r"^ {7}(\w+)", section(man_text, "COMMANDS", {"CONTROL SOCKET"}),
                              re.M))

faults = []


def compare(what, listed, offered):
    if listed - offered:
        faults.append(f"{what} lacks {sorted(listed - offered)}")
    if offered - listed:
        faults.append(f"{what} has {sorted(offered - listed)}, which --help does not list")


compare("the man page's OPTIONS", help_options, man_options)
compare("the man page's COMMANDS", help_commands, man_commands)

bash_words = set()
text = open(bash_completion).read()
for name in ("opts", "commands"):
    bash_words |= set(re.search(name + r'="([^"]*)"', text).group(1).split())
compare("the bash completion", help_options | help_commands, bash_words)

zsh = open(zsh_completion).read()
zsh_options = set(re.findall(r"(--?[a-z][a-z0-9-]*)(?==?\[)", zsh))
for group in re.findall(r"\{(-[^}]*)\}\'\[", zsh):
    zsh_options |= set(group.split(","))
commands_block = re.search(r"commands=\((.*?)\)", zsh, re.S).group(1)
zsh_commands = set(re.findall(r"'(\w+):", commands_block))
compare("the zsh completion", help_options | help_commands, zsh_options | zsh_commands)

if faults:
    sys.exit("\n".join(faults))
print(f"{len(help_options)} options and {len(help_commands)} commands agree")
