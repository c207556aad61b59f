#!/usr/bin/env python3
# Checks qsinspect --json against the text form of the same object: the output parses as JSON, lists
# the same members in the same order with the same types, parameters, dispids and values, and is the
# same bytes when run twice; and a ProgID that names no class gives the JSON error object and a
# non-zero exit code.
#   check-json.py WINE-RUN QSINSPECT.EXE
import json
import re
import subprocess
import sys

wine_run, exe = sys.argv[1], sys.argv[2]
failures = []


def run(*args):
    done = subprocess.run([wine_run, exe, *args], capture_output=True, timeout=120)
    return done.returncode, done.stdout


def one_line(value):
    return value.replace("\r\n", " | ").replace("\r", " ").replace("\n", " ")


def text_members(text):
    """(name, access, type, value or None, dispid) of the properties, and (signature, invoke kind, dispid)
    of the methods, as the text form prints them."""
    props, methods, section = [], [], None
    for line in text.splitlines():
        if line.startswith("Properties ("):
            section = props
        elif line.startswith("Methods and parameterized properties ("):
            section = methods
        elif section is props and line.startswith("  "):
            head, dispid = line.rsplit("   [dispid ", 1)
            name, access, rest = re.fullmatch(r"  (\S+) +(\S+) (.*)", head).groups()
            value, rest = None, rest.lstrip()
            if " = " in rest:
                rest, value = rest.split(" = ", 1)
            props.append((name, access, rest.rstrip(), value, int(dispid.split()[0])))
        elif section is methods and line.startswith("  ") and not line.startswith("  ("):
            m = re.fullmatch(r"  (.*)   \[(\w+), dispid (-?\d+) .*\]", line)
            methods.append((m.group(1), m.group(2), int(m.group(3))))
    return props, methods


def json_members(doc):
    props, methods = [], []
    for m in doc["members"]:
        if m["kind"] == "event":
            continue
        if "parameters" not in m:
            value = m["value"] if "value" in m else ("null" if "error" in m else None)
            props.append((m["name"], m["access"], m["type"], None if value is None else one_line(value),
                          m["dispid"]))
            continue
        params = []
        for p in m["parameters"]:
            flags = ",".join(p["flags"]) + (f' "{p["default"]}"' if "default" in p else "")
            params.append(f'{p["name"] or "<unnamed>"}: {p["type"]}' + (f" ({flags})" if flags else ""))
        call = m["invokeKind"] == "INVOKE_FUNC"
        signature = m["name"] + ("(" if call else "[") + ", ".join(params) + (")" if call else "]")
        if m["type"]:
            signature += ": " + m["type"]
        methods.append((signature, m["invokeKind"], m["dispid"]))
    return props, methods


# Objects whose text form and JSON must agree: the Dictionary's enumeration-typed property and
# parameterized members; the shell's current directory carries backslashes to escape.
for progid in ["Scripting.Dictionary", "WScript.Shell"]:
    code, text = run(progid)
    jcode, raw = run("--json", progid)
    again = run("--json", progid)[1]
    try:
        doc = json.loads(raw.decode("utf-8"))
    except ValueError as e:
        failures.append(f"{progid}: --json is not JSON ({e}):\n{raw[:2000]!r}")
        continue
    if code != 0 or jcode != 0:
        failures.append(f"{progid}: exit codes {code} (text) and {jcode} (--json)")
    if raw != again:
        failures.append(f"{progid}: two --json runs differ")
    expected, actual = text_members(text.decode("utf-8")), json_members(doc)
    for kind, want, got in zip(("properties", "methods"), expected, actual):
        if want != got:
            failures.append(f"{progid}: {kind} differ\n  text: {want}\n  json: {got}")
        if not want:
            failures.append(f"{progid}: the text form lists no {kind}")
    header = text.decode("utf-8").splitlines()[1]
    if header != f'Interface: {doc["interface"]["name"]} {doc["interface"]["guid"]}':
        failures.append(f"{progid}: interface {doc['interface']} but the text form says {header!r}")

# A ProgID that names no class, with a quote, a backslash, control characters and non-ASCII letters:
# the error object names the code, and the name comes back unchanged through the escaping and UTF-8.
bad = 'No"Such\\Class\tÄ€\x01'
code, raw = run("--json", bad)
try:
    doc = json.loads(raw.decode("utf-8"))
    error = doc["error"]
    if code == 0 or (error["hresult"], error["name"]) != ("0x800401F3", "CO_E_CLASSSTRING") or not error["message"]:
        failures.append(f"a bad ProgID: exit code {code}, {error}")
    if doc["object"] != bad:
        failures.append(f"a bad ProgID: {bad!r} came back as {doc['object']!r}")
except (ValueError, KeyError) as e:
    failures.append(f"a bad ProgID: no JSON error object ({e!r}): {raw!r}")

print("\n".join(failures) if failures else "qsinspect --json agrees with the text form")
sys.exit(1 if failures else 0)
