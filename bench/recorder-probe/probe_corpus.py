#!/usr/bin/env python3
"""Runs recorder-probe over a folder of real-world movies.

    probe_corpus.py PROBE FOLDER               every file through `movie` and `tree`: exit
                                               status 0 and one JSON object per line
    probe_corpus.py --durations PROBE FOLDER   the scanner's duration against ffprobe's

Exits 77 (skipped) when the folder, or for --durations ffprobe, is missing.
"""
import json
import os
import shutil
import subprocess
import sys

SKIP = 77
TIMEOUT_S = 60

# Files on which the scanner and ffprobe disagree for a known reason, with the reason. A
# disagreement not listed here fails the check.
KNOWN_DISAGREEMENTS = {
}


def run(args):
    return subprocess.run(args, capture_output=True, timeout=TIMEOUT_S)


def json_lines(out):
    """The output's lines as objects; raises ValueError on a line that is not one."""
    objects = []
    for line in out.decode("utf-8").splitlines():
        value = json.loads(line)
        if not isinstance(value, dict):
            raise ValueError("not an object: " + line)
        objects.append(value)
    return objects


def check_outputs(probe, files):
    failures = []
    for path in files:
        for command in ("movie", "tree"):
            try:
                result = run([probe, command, path])
                if result.returncode != 0:
                    failures.append(f"{command} {path}: exit status {result.returncode}: "
                                    f"{result.stderr.decode(errors='replace')[-2000:]}")
                    continue
                lines = json_lines(result.stdout)
                if command == "movie" and len(lines) != 1:
                    failures.append(f"movie {path}: {len(lines)} lines")
                if not lines:
                    failures.append(f"{command} {path}: no output")
            except (ValueError, UnicodeDecodeError) as e:
                failures.append(f"{command} {path}: output is not JSON lines: {e}")
            except subprocess.TimeoutExpired:
                failures.append(f"{command} {path}: no answer within {TIMEOUT_S} s")
    # All files in one process, as the benchmark runs it.
    result = run([probe, "movie", *files])
    if result.returncode != 0 or len(json_lines(result.stdout)) != len(files):
        failures.append(f"movie over all files: exit status {result.returncode}")
    return failures


def ffprobe_duration(path):
    result = run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path])
    try:
        return float(result.stdout.decode().strip()) if result.returncode == 0 else None
    except ValueError:
        return None  # "N/A" or nothing


def check_durations(probe, files):
    failures = []
    result = run([probe, "movie", *files])
    for entry in json_lines(result.stdout):
        name = os.path.basename(entry["file"])
        ours = entry.get("duration_s")
        theirs = ffprobe_duration(entry["file"])
        if ours is None or theirs is None:
            continue
        if abs(ours - theirs) <= 0.01 * max(abs(theirs), 1e-9):
            continue
        line = f"{name}: scanner {ours:.6g} s, ffprobe {theirs:.6g} s"
        if name in KNOWN_DISAGREEMENTS:
            print(f"known: {line} ({KNOWN_DISAGREEMENTS[name]})")
        else:
            failures.append(line)
    return failures


def main():
    args = sys.argv[1:]
    durations = bool(args) and args[0] == "--durations"
    if durations:
        args = args[1:]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    probe, folder = args
    if not os.path.isdir(folder):
        print(f"no corpus at {folder}; skipped")
        return SKIP
    if durations and shutil.which("ffprobe") is None:
        print("ffprobe is not available; skipped")
        return SKIP
    files = sorted(os.path.join(folder, n) for n in os.listdir(folder)
                   if os.path.isfile(os.path.join(folder, n)))
    failures = check_durations(probe, files) if durations else check_outputs(probe, files)
    for f in failures:
        print("FAIL", f)
    print(f"{len(files)} files, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
