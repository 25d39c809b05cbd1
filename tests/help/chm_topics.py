#!/usr/bin/env python3
"""Checks the compiled help file against what the module asks of it.

chm_topics.py CHMLS HELP_FILE RESOURCE_DIR

Every topic the resources name ("::/..." strings, opened by F1 and the
settings sheet's Help) and the default topic (opened by Help Topics) must be
inside the file, the file must carry the name the module looks for, every page
and the contents and index may link only to pages inside the file, and every
page must read well to a screen reader (a language, a heading, no image
without text).
"""
import os
import posixpath
import re
import subprocess
import sys
import tempfile

chmls, help_file, resource_dir = sys.argv[1:4]
failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text)


def chmls_out(*args):
    return subprocess.run([chmls, *args], capture_output=True, text=True, errors="replace", check=True).stdout


def resource_strings():
    texts = {}
    for name in sorted(os.listdir(resource_dir)):
        if name.endswith(".rc"):
            with open(os.path.join(resource_dir, name), encoding="latin-1") as rc:
                texts.update(re.findall(r'^\s*(\w+)\s*,?\s*"([^"]*)"', rc.read(), re.M))
    return texts


strings = resource_strings()
expected_name = strings.get("IDS_HELPFILE")
if os.path.basename(help_file) != expected_name:
    fail(f"help file is {os.path.basename(help_file)}, the module opens {expected_name}")

listing = chmls_out("-n", "list", help_file)
names = {line.strip() for line in listing.splitlines() if line.startswith("/")}
print(f"{len(names)} entries in {os.path.basename(help_file)}")

default = re.search(r"Default topic from \[options\]\s*:([^\s\x00]+)", chmls_out("printsystem", help_file))
topics = {ident: text[2:] for ident, text in strings.items() if text.startswith("::/")}
if default:
    topics["default topic (Help Topics)"] = "/" + default.group(1)
else:
    fail("no default topic: Help Topics would open nothing")
if len(topics) < 5:
    fail(f"only {len(topics)} topics found in the resources")
for ident, topic in sorted(topics.items()):
    found = topic in names
    print(f"  {'ok  ' if found else 'MISSING'} {topic:40} {ident}")
    if not found:
        fail(f"{ident} asks for {topic}, which is not in the help file")

LINK = re.compile(r'\b(?:href|src)\s*=\s*"([^"]*)"', re.I)
LOCAL = re.compile(r'<param\s+name="Local"\s+value="([^"]*)"', re.I)


def check_link(page, target, base):
    path = target.split("#", 1)[0]
    if not path:
        return
    if re.match(r"[a-z][a-z0-9+.-]*:", path, re.I):
        fail(f"{page} links outside the help file: {target}")
        return
    resolved = posixpath.normpath(posixpath.join(base, path))
    if resolved not in names:
        fail(f"{page} links to {target}, which is not in the help file")


with tempfile.TemporaryDirectory() as work:
    chmls_out("extractall", help_file, work)
    pages = sorted(n for n in names if n.lower().endswith((".htm", ".html", ".hhc", ".hhk")))
    links = 0
    for page in pages:
        with open(os.path.join(work, page.lstrip("/")), encoding="latin-1") as f:
            text = f.read()
        if page.lower().endswith((".hhc", ".hhk")):
            targets, base = LOCAL.findall(text), "/"
        else:
            targets, base = LINK.findall(text), posixpath.dirname(page)
            if not re.search(r'<html[^>]*\slang="[^"]+"', text, re.I):
                fail(f"{page} has no language")
            if not re.search(r"<h1[\s>]", text, re.I):
                fail(f"{page} has no heading")
            if re.search(r'<img(?![^>]*\salt="[^"]+")', text, re.I):
                fail(f"{page} has an image without text")
        for target in targets:
            check_link(page, target, base)
        links += len(targets)
    print(f"{len(pages)} pages, {links} links checked")

print("help file check " + ("FAILED" if failures else "passed"))
sys.exit(1 if failures else 0)
