#!/usr/bin/env python3
"""Fails on any text a person could read untranslated in English: a text in the
code missing from translations/savewright_en.ts, an entry left unfinished or
stale, a placeholder lost, or German left in an English translation."""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

lupdate, source = sys.argv[1], sys.argv[2]
committed = os.path.join(source, "translations", "savewright_en.ts")
problems = []


def messages(path):
    out = {}
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for m in context.iter("message"):
            out[(name, m.findtext("source"))] = m
    return out


def code_files():
    for folder in ("SavewrightCore", "Savewright"):
        for ext in ("cpp", "h"):
            yield from glob.glob(os.path.join(source, folder, "**", "*." + ext), recursive=True)


# What lupdate finds today, beside what the file holds.
with tempfile.TemporaryDirectory() as scratch:
    fresh = os.path.join(scratch, "fresh_en.ts")
    shutil.copy(committed, fresh)
    subprocess.run([lupdate, "-silent", "-locations", "none", "-no-obsolete", "-source-language",
                    "de", *code_files(), "-ts", fresh], check=True)
    found = messages(fresh)
held = messages(committed)
for key in found.keys() - held.keys():
    problems.append("not in the .ts file (run the update_translations target): %r" % (key,))
for key in held.keys() - found.keys():
    problems.append("in the .ts file but no longer in the code: %r" % (key,))

# Read from the code without lupdate, so that a call lupdate cannot parse is seen.
literal = r'"(?:[^"\\]|\\.)*"'
call = re.compile(r'(?:Language::translate|QT_TRANSLATE_N?_NOOP)\(\s*"(\w+)",\s*((?:%s\s*)+)'
                  % literal)
for path in code_files():
    text = open(path, encoding="utf-8").read()
    for m in call.finditer(text):
        joined = "".join(part[1:-1] for part in re.findall(literal, m.group(2)))
        joined = re.sub(r"\\(.)", lambda e: {"n": "\n", "t": "\t"}.get(e.group(1), e.group(1)),
                        joined)
        if (m.group(1), joined) not in held:
            problems.append("%s: lupdate does not see %r" % (os.path.relpath(path, source),
                                                           (m.group(1), joined)))

placeholder = re.compile(r"%(?:\d|n)")
german = re.compile(r"[äöüÄÖÜß„]")
for (context, text), m in held.items():
    translation = m.find("translation")
    if translation.get("type") in ("unfinished", "vanished", "obsolete"):
        problems.append("unfinished: %r" % ((context, text),))
        continue
    forms = [f.text or "" for f in translation.iter("numerusform")]
    if m.get("numerus") == "yes" and len(forms) != 2:
        problems.append("needs one and many: %r" % ((context, text),))
    for form in forms or [translation.text or ""]:
        if not form:
            problems.append("empty: %r" % ((context, text),))
        if sorted(placeholder.findall(form)) != sorted(placeholder.findall(text)):
            problems.append("placeholders differ: %r -> %r" % (text, form))
        if german.search(form):
            problems.append("German in the English text: %r" % form)

for p in problems:
    print(p)
print("%d texts, %d problems" % (len(held), len(problems)))
sys.exit(1 if problems else 0)
