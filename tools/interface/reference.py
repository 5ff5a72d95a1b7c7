#!/usr/bin/env python3
"""Builds docs/interface.md from its template and a real run of kilna.exe.

    reference.py write BIN_DIR WORK_DIR     regenerate docs/interface.md
    reference.py check BIN_DIR WORK_DIR     fail when docs/interface.md is stale

The run: a fresh Wine prefix and X display must already be in place (scripts
set them up); this starts the desktop-shell stand-in, seeds the user's own
proxy, runs kilna.exe under the example script and reads its transcript. Each
"<!-- example: ID -->" line of the template becomes the call and the answer
with that id. The check compares with machine-specific values (process ids,
generated GUIDs, the Wine user's name, time stamps) masked out.
"""

import difflib
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
TEMPLATE = ROOT / "docs" / "interface.template.md"
REFERENCE = ROOT / "docs" / "interface.md"
EXAMPLES = ROOT / "tools" / "interface" / "reference_examples.jsonl"
MARKER = re.compile(r"^<!-- example: (\S+) -->$")
BYTES_SHOWN = 32

# The user's own proxy before the run, so that the cleanup examples have
# something to clean and to put back.
USER_PROXY = [
    ("ProxyEnable", "REG_DWORD", "1"),
    ("ProxyServer", "REG_SZ", "proxy.example:3128"),
    ("ProxyOverride", "REG_SZ", "<local>"),
]
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"

# Wine's WinINet keeps no per-connection options, so the run uses the test
# wininet.dll, which behaves as Windows documents. kilna.exe loads WinINet from
# the system folder alone, so the file goes into the prefix's system32 for the
# run (Wine's own is put back afterwards), and a copy of kilna.exe with a name
# of its own is told to load it (Wine's loader override is keyed by that name;
# every other program keeps Wine's WinINet).
COPY_NAME = "kilna-reference.exe"
WININET_OVERRIDE = rf"HKCU\Software\Wine\AppDefaults\{COPY_NAME}\DllOverrides"

MASKS = [
    (re.compile(r"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}"), "{GUID}"),
    (re.compile(r"S-1-5-21-[0-9-]+"), "S-1-5-21-..."),
    (re.compile(r"(users\\\\)[^\\\"]+"), r"\1USER"),
    (re.compile(r'("outProcessId":)\d+'), r"\1PID"),
    (re.compile(r'("OrvGetInteractiveUserToken","result":)\d+'), r"\1HANDLE"),
    (re.compile(r'("\w*Us":)\d+'), r"\1TIME"),
]


def load_examples():
    examples = []
    for raw in EXAMPLES.read_text(encoding="utf-8").splitlines():
        if raw.strip():
            entry = json.loads(raw)
            examples.append((entry["id"], entry["step"]))
    return examples


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def wine(*args, **kwargs):
    return subprocess.run(["wine64", *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)


def copy_application(bin_dir, app):
    """kilna.exe and its DLLs in a folder of their own."""
    shutil.rmtree(app, ignore_errors=True)
    app.mkdir(parents=True)
    for dll in bin_dir.glob("*.dll"):
        shutil.copy2(dll, app)
    shutil.copy2(bin_dir / "kilna.exe", app / COPY_NAME)
    return app / COPY_NAME


def system_wininet():
    return pathlib.Path(os.environ["WINEPREFIX"]) / "drive_c" / "windows" / "system32" / "wininet.dll"


def run_kilna(bin_dir, work, examples):
    """The transcript lines of one kilna.exe run under the example script."""
    work.mkdir(parents=True, exist_ok=True)
    executable = copy_application(bin_dir, work / "app")
    script = work / "script.jsonl"
    transcript = work / "transcript.jsonl"
    transcript.unlink(missing_ok=True)
    script.write_text("".join(json.dumps(step, ensure_ascii=False) + "\n" for _, step in examples), encoding="utf-8")
    for name, kind, value in USER_PROXY:
        wine("reg", "add", INTERNET_SETTINGS, "/v", name, "/t", kind, "/d", value, "/f", check=True)
    wine("reg", "delete", INTERNET_SETTINGS, "/v", "AutoConfigURL", "/f")  # left by an earlier run, perhaps
    wine("reg", "add", WININET_OVERRIDE, "/v", "wininet", "/t", "REG_SZ", "/d", "native", "/f", check=True)
    wine_own = system_wininet().read_bytes()
    shutil.copyfile(bin_dir.parent / "proxy_test_wininet" / "wininet.dll", system_wininet())

    shell = subprocess.Popen(["wine64", str(bin_dir / "standin_shell.exe")], stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    try:
        time.sleep(1.5)
        env = dict(os.environ, FLUTTER_STANDIN_SCRIPT=windows_path(script),
                   FLUTTER_STANDIN_TRANSCRIPT=windows_path(transcript), ORV_DIAGNOSTICS_DIR=windows_path(work),
                   ORV_STARTUP_DIAGNOSTICS="1")
        kilna = subprocess.run(["wine64", str(executable)], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=180, check=False)
    finally:
        shell.kill()
        shell.wait()
        system_wininet().write_bytes(wine_own)
        wine("reg", "delete", WININET_OVERRIDE.rsplit("\\", 1)[0], "/f")
        wine("reg", "delete", r"HKCU\Software\Kilna\TestWinInet", "/f")  # the test WinINet's auto-detect values
        for name in [name for name, _, _ in USER_PROXY] + ["AutoConfigURL"]:
            wine("reg", "delete", INTERNET_SETTINGS, "/v", name, "/f")
    if kilna.returncode != 0:
        raise SystemExit(f"kilna.exe exited with {kilna.returncode}; see {work}")
    archive = os.environ.get("KILNA_TRANSCRIPT_ARCHIVE", "")
    if archive.startswith("Z:"):  # scripts/test checks the documents of every run
        shutil.copy2(transcript, pathlib.Path(archive[2:].replace("\\", "/")) / "interface-reference.jsonl")
    return [json.loads(line) for line in transcript.read_text(encoding="utf-8").splitlines() if line.strip()]


def pair_answers(examples, transcript):
    """{id: (call line, answer line)}: the n-th call or ffi step gets the n-th answer."""
    answers = [line for line in transcript if line.get("op") in ("call", "ffi", "error")]
    pairs, n = {}, 0
    for example_id, step in examples:
        if step["op"] not in ("call", "ffi"):
            continue
        if n >= len(answers):
            raise SystemExit(f"no answer for {example_id}: the transcript ends early")
        answer = answers[n]
        n += 1
        if answer.get("op") == "error" or answer.get("name", answer.get("method")) != step.get("name",
                                                                                           step.get("method")):
            raise SystemExit(f"{example_id}: unexpected answer {json.dumps(answer)[:200]}")
        if example_id:
            pairs[example_id] = (compact(step), compact(answer))
    return pairs


def compact(value):
    text = json.dumps(value, ensure_ascii=False, separators=(",", ":"))
    return re.sub(r'("\$bytes":")([0-9a-f]{%d})([0-9a-f]+)"' % (2 * BYTES_SHOWN),
                  lambda m: f'{m.group(1)}{m.group(2)}… ({(len(m.group(2)) + len(m.group(3))) // 2} bytes in all)"',
                  text)


def render(pairs):
    out = ["<!-- Generated by scripts/interface-reference from docs/interface.template.md: edit those. -->", ""]
    for line in TEMPLATE.read_text(encoding="utf-8").splitlines():
        match = MARKER.match(line)
        if not match:
            out.append(line)
            continue
        call, answer = pairs[match.group(1)]
        out += ["```text", f"call:   {call}", f"answer: {answer}", "```"]
    return "\n".join(out) + "\n"


def masked(text):
    for pattern, replacement in MASKS:
        text = pattern.sub(replacement, text)
    return text


def main(argv):
    if len(argv) != 4 or argv[1] not in ("write", "check"):
        print(__doc__)
        return 2
    examples = load_examples()
    markers = [m.group(1) for m in map(MARKER.match, TEMPLATE.read_text(encoding="utf-8").splitlines()) if m]
    unknown = sorted(set(markers) - {example_id for example_id, _ in examples})
    if unknown:
        print(f"the template names examples that do not exist: {unknown}")
        return 1
    text = render(pair_answers(examples, run_kilna(pathlib.Path(argv[2]), pathlib.Path(argv[3]), examples)))
    if argv[1] == "write":
        REFERENCE.write_text(text, encoding="utf-8")
        print(f"wrote {REFERENCE}")
        return 0
    current = REFERENCE.read_text(encoding="utf-8") if REFERENCE.exists() else ""
    if masked(current) == masked(text):
        print(f"{REFERENCE.name} matches a fresh run of kilna.exe")
        return 0
    sys.stdout.writelines(difflib.unified_diff(masked(current).splitlines(True), masked(text).splitlines(True),
                                               "docs/interface.md", "fresh run"))
    print("docs/interface.md is stale: run scripts/interface-reference")
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
