#!/usr/bin/env python3
"""chm_topics.py CHMLS HELP_FILE RESOURCE_DIR: the compiled help file carries the name the module opens; every
topic the resources name ("::/..." strings, opened by F1 and the settings sheet's Help) and the default topic
(opened by Help Topics) is inside it; its pages, contents and index link only to pages inside it; and every page
reads well to a screen reader (a language, a heading, no image without text)."""
import os, posixpath, re, subprocess, sys, tempfile

chmls, help_file, resource_dir = sys.argv[1:4]
failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text)


def chmls_out(*args):
    return subprocess.run([chmls, *args], capture_output=True, text=True, errors="replace", check=True).stdout


strings = {}
for name in sorted(n for n in os.listdir(resource_dir) if n.endswith(".rc")):
    with open(os.path.join(resource_dir, name), encoding="latin-1") as rc:
        strings.update(re.findall(r'^\s*(\w+)\s*,?\s*"([^"]*)"', rc.read(), re.M))
if os.path.basename(help_file) != strings.get("IDS_HELPFILE"):
    fail(f"help file is {os.path.basename(help_file)}, the module opens {strings.get('IDS_HELPFILE')}")
names = {line.strip() for line in chmls_out("-n", "list", help_file).splitlines() if line.startswith("/")}
print(f"{len(names)} entries in {os.path.basename(help_file)}")

topics = {ident: text[2:] for ident, text in strings.items() if text.startswith("::/")}
default = re.search(r"Default topic from \[options\]\s*:([^\s\x00]+)", chmls_out("printsystem", help_file))
topics["default topic (Help Topics)"] = "/" + default.group(1) if default else "(none: Help Topics opens nothing)"
if len(topics) < 5:
    fail(f"only {len(topics)} topics found in the resources")
for ident, topic in sorted(topics.items()):
    print(f"  {'ok  ' if topic in names else 'MISSING'} {topic:40} {ident}")
    if topic not in names:
        fail(f"{ident} asks for {topic}, which is not in the help file")

with tempfile.TemporaryDirectory() as work:
    chmls_out("extractall", help_file, work)
    pages = sorted(n for n in names if n.lower().endswith((".htm", ".html", ".hhc", ".hhk")))
    links = 0
    for page in pages:
        with open(os.path.join(work, page.lstrip("/")), encoding="latin-1") as f:
            text = f.read()
        if page.lower().endswith((".hhc", ".hhk")):
            targets, base = re.findall(r'<param\s+name="Local"\s+value="([^"]*)"', text, re.I), "/"
        else:
            targets, base = re.findall(r'\b(?:href|src)\s*=\s*"([^"]*)"', text, re.I), posixpath.dirname(page)
            for needed, lacking in ((r'<html[^>]*\slang="[^"]+"', "no language"), (r"<h1[\s>]", "no heading"),
                                    (r'^(?![\s\S]*<img(?![^>]*\salt="[^"]+"))', "an image without text")):
                if not re.search(needed, text, re.I):
                    fail(f"{page} has {lacking}")
        for target in targets:
            path = target.split("#", 1)[0]
            if re.match(r"[a-z][a-z0-9+.-]*:", path, re.I):
                fail(f"{page} links outside the help file: {target}")
            elif path and posixpath.normpath(posixpath.join(base, path)) not in names:
                fail(f"{page} links to {target}, which is not in the help file")
        links += len(targets)
    print(f"{len(pages)} pages, {links} links checked")

print("help file check " + ("FAILED" if failures else "passed"))
sys.exit(1 if failures else 0)
