#!/usr/bin/env python3
"""Seeded-fault runs: does the suite notice a plausible mistake in the product?

    seed-faults.py [--faults FILE] [--only ID[,ID...]] [--build CMD] [--keep-going] -- TEST-CMD...

For each fault of FILE (default tests/seeded-faults.txt) the script puts the fault into the source
tree, runs the build command (default: build the win64 and win32 folders), then the test command;
the fault is "caught" when the test command exits non-zero, "missed" when it passes, and "invalid"
when it does not build. The source files are restored after each fault, also on Ctrl-C. One line
per fault goes to standard output and a summary at the end.

Fault file format, one block per fault:

    ## id-of-the-fault
    # what the mistake breaks, in a sentence
    file: src/some/file.cpp
    - exact text that occurs once in the file
    + what it becomes
    (more "file:", "-" and "+" lines may follow; "+" alone on a line deletes the text; "\\n" in
    either stands for a line break)

With --check the script only tells which faults no longer apply to the tree.
"""
import argparse, os, pathlib, re, subprocess, sys, time

def parse(path):
    faults, cur = [], None
    for raw in pathlib.Path(path).read_text().splitlines():
        if raw.startswith("## "):
            cur = {"id": raw[3:].strip(), "what": "", "edits": []}
            faults.append(cur)
        elif cur is None or not raw.strip():
            continue
        elif raw.startswith("# "):
            cur["what"] += (" " if cur["what"] else "") + raw[2:].strip()
        elif raw.startswith("file: "):
            cur["file"] = raw[6:].strip()
        elif raw.startswith("- "):
            cur["edits"].append([cur["file"], raw[2:].replace("\\n", "\n"), None])
        elif raw.startswith("+"):
            cur["edits"][-1][2] = raw[2:].replace("\\n", "\n") if raw.startswith("+ ") else ""
    return faults

def apply(root, fault):
    saved = {}
    for name, old, new in fault["edits"]:
        p = root / name
        text = saved.get(name) or p.read_text()
        saved.setdefault(name, text)
        current = p.read_text()
        if current.count(old) != 1:
            return saved, f"'{old}' occurs {current.count(old)} times in {name}"
        p.write_text(current.replace(old, new, 1))
    return saved, None

def restore(root, saved):
    for name, text in saved.items():
        (root / name).write_text(text)

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--faults", default="tests/seeded-faults.txt")
    ap.add_argument("--only", default="")
    ap.add_argument("--build", default="cmake --build build/win64 -j2 && cmake --build build/win32 -j2")
    ap.add_argument("--check", action="store_true")
    ap.add_argument("test", nargs=argparse.REMAINDER)
    a = ap.parse_args()
    test = a.test[1:] if a.test[:1] == ["--"] else a.test
    if not test and not a.check:
        ap.error("give the test command after --")
    root = pathlib.Path(subprocess.check_output(["git", "rev-parse", "--show-toplevel"], text=True).strip())
    faults = parse(root / a.faults if not os.path.isabs(a.faults) else a.faults)
    only = set(filter(None, a.only.split(",")))
    counts = {"caught": 0, "missed": 0, "invalid": 0}
    logdir = root / "build" / "faults"
    logdir.mkdir(parents=True, exist_ok=True)
    for fault in faults:
        if only and fault["id"] not in only:
            continue
        start = time.time()
        saved, problem = apply(root, fault)
        if a.check:
            restore(root, saved)
            if problem:
                print(f"does not apply: {fault['id']}: {problem}")
            continue
        try:
            if problem:
                verdict = "invalid"
            else:
                log = open(logdir / f"{fault['id']}.log", "w")
                built = subprocess.run(a.build, shell=True, cwd=root, stdout=log, stderr=subprocess.STDOUT)
                if built.returncode != 0:
                    verdict, problem = "invalid", "does not build"
                else:
                    ran = subprocess.run(test, cwd=root, stdout=log, stderr=subprocess.STDOUT)
                    verdict = "caught" if ran.returncode != 0 else "missed"
        finally:
            restore(root, saved)
        counts[verdict] += 1
        note = f" ({problem})" if problem else ""
        print(f"{verdict:8} {fault['id']}{note}  [{time.time() - start:.0f} s]", flush=True)
    if a.check:
        print(f"{len(faults)} faults checked")
        return 0
    # Leave the tree built as it is, without a fault.
    subprocess.run(a.build, shell=True, cwd=root, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    total = counts["caught"] + counts["missed"]
    print(f"seeded faults: {counts['caught']} of {total} caught, {counts['missed']} missed, {counts['invalid']} invalid")
    return 0

if __name__ == "__main__":
    sys.exit(main())
