#!/usr/bin/env python3
"""Syntax of the udev rules as udev reads them (no udevadm here): every pair is a known key
with an operator allowed for it and a double-quoted value, GOTOs reach a LABEL, match and
assignment operators are not mixed up, and the file sorts before 73-seat-late.rules, which
acts on the uaccess tag."""
import os
import re
import sys

MATCH_ONLY = {"ACTION", "DEVPATH", "KERNEL", "KERNELS", "SUBSYSTEM", "SUBSYSTEMS", "DRIVER",
              "DRIVERS", "ATTRS", "TAGS", "TEST", "PROGRAM", "RESULT", "SYMLINK", "NAME"}
ASSIGN_ONLY = {"GOTO", "LABEL", "IMPORT", "RUN", "OPTIONS", "OWNER", "GROUP", "MODE",
               "SECLABEL", "SYSCTL"}
BOTH = {"ENV", "TAG", "ATTR", "CONST"}
WITH_ATTRIBUTE = {"ENV", "ATTR", "ATTRS", "IMPORT", "RUN", "TEST", "SYSCTL", "CONST", "SECLABEL"}
PAIR = re.compile(r'\s*([A-Z]+)(\{[^}]+\})?\s*(==|!=|\+=|-=|:=|=)\s*"((?:[^"\\]|\\.)*)"\s*(,|$)')

path = sys.argv[1]
name = os.path.basename(path)
faults = []
labels, gotos, uaccess = set(), [], False
text = open(path).read().replace("\\\n", "")
for number, line in enumerate(text.splitlines(), 1):
    if not line.strip() or line.lstrip().startswith("#"):
        continue
    pos, matches, assigns, tags = 0, 0, 0, False
    while pos < len(line):
        m = PAIR.match(line, pos)
        if not m:
            faults.append(f"{name}:{number}: cannot read from column {pos + 1}: {line[pos:]!r}")
            break
        key, attr, op, value = m.group(1), m.group(2), m.group(3), m.group(4)
        is_match = op in ("==", "!=")
        if key not in MATCH_ONLY | ASSIGN_ONLY | BOTH:
            faults.append(f"{name}:{number}: unknown key {key}")
        elif is_match and key in ASSIGN_ONLY or not is_match and key in MATCH_ONLY:
            faults.append(f"{name}:{number}: {key} does not take {op}")
        if (attr is not None) != (key in WITH_ATTRIBUTE):
            faults.append(f"{name}:{number}: {key} {'needs' if attr is None else 'takes no'} {{}}")
        if key == "LABEL":
            labels.add(value)
        if key == "GOTO":
            gotos.append((number, value))
        if key == "TAG" and value == "uaccess" and op == "+=":
            uaccess = tags = True
        matches += is_match
        assigns += not is_match
        pos = m.end()
    # A line of matches only does nothing; a tag without a match goes to every device that
    # gets that far (a typed = for == makes one).
    if assigns == 0:
        faults.append(f"{name}:{number}: no assignment")
    if tags and matches == 0:
        faults.append(f"{name}:{number}: uaccess without a match: every device gets it")
for number, label in gotos:
    if label not in labels:
        faults.append(f"{name}:{number}: GOTO to the missing label {label}")
if uaccess and not name < "73-seat-late.rules":
    faults.append(f"{name} sorts after 73-seat-late.rules: the uaccess tag would come too late")
if not uaccess:
    faults.append(f"{name} tags nothing with uaccess")
if faults:
    sys.exit("\n".join(faults))
print(f"{name}: {len(labels)} label(s), {len(gotos)} goto(s), uaccess tagged")
