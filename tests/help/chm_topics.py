#!/usr/bin/env python3
"""chm_topics.py CHMLS HELP_FILE RESOURCE_DIR: the compiled help file carries the name the module opens, and every
topic the resources name ("::/..." strings, opened by F1 and the settings sheet's Help) and the default topic
(opened by Help Topics) is inside it."""
import os, re, subprocess, sys

chmls, help_file, resource_dir = sys.argv[1:4]

def chmls_out(*args):
    return subprocess.run([chmls, *args], capture_output=True, text=True, errors="replace", check=True).stdout


strings = {}
for name in sorted(n for n in os.listdir(resource_dir) if n.endswith(".rc")):
    with open(os.path.join(resource_dir, name), encoding="latin-1") as rc:
        strings.update(re.findall(r'^\s*(\w+)\s*,?\s*"([^"]*)"', rc.read(), re.M))
names = {line.strip() for line in chmls_out("-n", "list", help_file).splitlines() if line.startswith("/")}
topics = {ident: text[2:] for ident, text in strings.items() if text.startswith("::/")}
default = re.search(r"Default topic from \[options\]\s*:([^\s\x00]+)", chmls_out("printsystem", help_file))
topics["default topic (Help Topics)"] = "/" + default.group(1) if default else "(none: Help Topics opens nothing)"
failures = [] if len(topics) >= 5 else [f"only {len(topics)} topics: the resources were not read"]
if os.path.basename(help_file) != strings.get("IDS_HELPFILE"):
    failures.append(f"help file is {os.path.basename(help_file)}, the module opens {strings.get('IDS_HELPFILE')}")
for ident, topic in sorted(topics.items()):
    print(f"  {'ok  ' if topic in names else 'MISSING'} {topic:40} {ident}")
    failures += [f"{ident} asks for {topic}, which is not in the help file"] if topic not in names else []
for failure in failures:
    print("FAIL: " + failure)
print("help file check " + ("FAILED" if failures else "passed"))
sys.exit(1 if failures else 0)
