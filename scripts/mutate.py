#!/usr/bin/env python3
"""Mutation testing of the core and the command line: single-token changes to the product code,
each built and run against the unit suites; a mutant the suites do not notice survives.

    scripts/mutate.py [--rev REV] [--count N] [--seed S] [--out FILE] [FOLDER ...]
        --count N draws N mutants at random from each folder; the score is printed per folder.
    scripts/mutate.py --replay BEFORE.tsv [--rev REV] [--out FILE] [FOLDER ...]

It works in a worktree of its own (of REV, default HEAD) under the system's temporary folder, so
the checkout it is started from is never touched, and writes one line per mutant to --out (tab
separated: result, file:line, the line's text before, after). Results: killed, survived,
stillborn (does not compile) or timeout (counted as killed). Run it on two revisions with the
same --seed and --count to compare them: the sites differ where the code does, so compare what
survives, not the totals alone. --replay takes the killed mutants of an earlier run and makes
each again wherever its line stands unchanged in REV (any file of the folders), so that a mutant
killed before must be killed again; one whose line is gone is written as "moved".
"""
import argparse
import os
import random
import re
import signal
import subprocess
import sys
import tempfile

# (pattern, replacement) over one token; each match in a code line is one mutant.
OPERATORS = [
    (r" == ", " != "), (r" != ", " == "),
    (r" < ", " <= "), (r" <= ", " < "),
    (r" > ", " >= "), (r" >= ", " > "),
    (r" && ", " || "), (r" \|\| ", " && "),
    (r" \+ ", " - "), (r" - ", " + "),
    (r"\btrue\b", "false"), (r"\bfalse\b", "true"),
    (r"\b([1-9][0-9]*)u?\b", None),  # a number n becomes n + 1
    (r"\breturn (?=[a-z!(])", "return !"),  # a bool turned round; elsewhere mostly stillborn
]
# A call made for its effect, on a line of its own, deleted.
CALL_STATEMENT = re.compile(r"^(\s*)(?!return\b|delete\b|throw\b)[A-Za-z_][\w:]*(\.|->|::)?[\w:.>-]*\(.*\);\s*$")
SUITES = ["tests/fwup_tests", "tests/cli/fwup_cli_tests", "tests/cli/fwup_program_tests"]
TARGETS = ["fwup_tests", "fwup_cli_tests", "fwup_program_tests", "fwupgrade"]


def sh(command, cwd, timeout=None):
    # A session of its own, so that a mutant that loops for ever is ended with all it started.
    process = subprocess.Popen(command, cwd=cwd, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        raise


def code_lines(path):
    """Lines worth mutating: not comments, includes, asserts of the preprocessor or blank."""
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            stripped = line.strip()
            if not stripped or stripped.startswith(("//", "#", "*", "/*")) or "static_assert" in line:
                continue
            yield number, line


def source_files(tree, folders):
    """The portable .cpp files of the folders: the Windows ones are not built here."""
    for folder in folders:
        for root, _, files in os.walk(os.path.join(tree, folder)):
            for name in sorted(files):
                if name.endswith(".cpp") and "win32" not in name:
                    yield os.path.join(root, name)


def sites(tree, folders):
    found = []
    for path in source_files(tree, folders):
        for number, line in code_lines(path):
            code = line.split("//")[0]
            for pattern, replacement in OPERATORS:
                if pattern in (r" \+ ", r" - ") and '"' in code:
                    continue  # text being joined: nearly always does not compile
                for match in re.finditer(pattern, code):
                    if replacement is None:
                        new = str(int(match.group(1)) + 1)
                    else:
                        new = replacement
                    mutated = line[:match.start()] + new + line[match.end():]
                    if '"' in line[:match.start()] and line[:match.start()].count('"') % 2 == 1:
                        continue  # inside a string literal
                    found.append((os.path.relpath(path, tree), number, line, mutated))
            call = CALL_STATEMENT.match(code.rstrip() + "\n")
            if call and code.count("(") == code.count(")"):
                found.append((os.path.relpath(path, tree), number, line, call.group(1) + ";  // deleted\n"))
    return found


def folder_of(file, folders):
    return next((folder for folder in folders if file.startswith(folder.rstrip("/") + "/")), "?")


def replayed(tree, folders, before):
    """The killed mutants of an earlier run, at the sites where their lines stand in `tree`."""
    lines = {}
    for path in source_files(tree, folders):
        for number, line in code_lines(path):
            lines.setdefault(line.strip(), []).append((os.path.relpath(path, tree), number, line))
    found, moved = [], []
    with open(before, encoding="utf-8") as earlier:
        for row in earlier:
            result, where, old, new = row.rstrip("\n").split("\t")
            if result not in ("killed", "timeout"):
                continue
            if old not in lines:
                moved.append((where, old, new))
                continue
            file, number, line = lines[old][0]
            indent = line[:len(line) - len(line.lstrip())]
            found.append((file, number, line, indent + new + "\n"))
    return found, moved


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rev", default="HEAD")
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--out", default="mutants.tsv")
    parser.add_argument("--replay", help="the --out of an earlier run: make its killed mutants again")
    parser.add_argument("folders", nargs="*", default=["src/upgrade", "src/device", "src/image", "src/cli", "src/os"])
    args = parser.parse_args()

    repo = subprocess.check_output(["git", "rev-parse", "--show-toplevel"], text=True).strip()
    work = tempfile.mkdtemp(prefix="fwup-mutate-")
    os.chmod(work, 0o755)  # some tests run the program as another user
    tree = os.path.join(work, "tree")
    subprocess.check_call(["git", "-C", repo, "worktree", "add", "--detach", tree, args.rev],
                          stdout=subprocess.DEVNULL)
    build = os.path.join(tree, "build", "mutate")
    try:
        configure = (f"cmake -S . -B {build} -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFWUP_WINE_TESTS=OFF "
                     f"-DFWUP_VM_TESTS=OFF -DFWUP_BUILD_BENCHMARKS=OFF")
        if sh(configure, tree) != 0 or sh(f"cmake --build {build} --target {' '.join(TARGETS)}", tree) != 0:
            sys.exit("mutate: the unmutated tree does not build")
        suites = " && ".join(f"{build}/{suite} --gtest_brief=1" for suite in SUITES)
        for suite in SUITES:
            if sh(f"{build}/{suite} --gtest_brief=1", tree, timeout=600) != 0:
                sys.exit(f"mutate: the unmutated tree fails its own tests ({suite})")

        moved = []
        if args.replay:
            chosen, moved = replayed(tree, args.folders, args.replay)
        else:
            every = sites(tree, args.folders)
            chosen = []
            for folder in args.folders:
                here = [site for site in every if folder_of(site[0], args.folders) == folder]
                random.Random(f"{args.seed}:{folder}").shuffle(here)
                chosen += here[:args.count]
        tally = {"moved": len(moved)} if moved else {}
        per_folder = {}
        with open(args.out, "w", encoding="utf-8") as out:
            for where, old, new in moved:
                out.write(f"moved\t{where}\t{old}\t{new}\n")
            for index, (file, number, before, after) in enumerate(chosen, 1):
                path = os.path.join(tree, file)
                with open(path, encoding="utf-8") as source:
                    original = source.readlines()
                mutated = list(original)
                mutated[number - 1] = after
                with open(path, "w", encoding="utf-8") as source:
                    source.writelines(mutated)
                try:
                    if sh(f"cmake --build {build} --target {' '.join(TARGETS)}", tree) != 0:
                        result = "stillborn"
                    else:
                        result = "survived" if sh(suites, tree, timeout=300) == 0 else "killed"
                except subprocess.TimeoutExpired:
                    result = "timeout"
                finally:
                    with open(path, "w", encoding="utf-8") as source:
                        source.writelines(original)
                tally[result] = tally.get(result, 0) + 1
                mine = per_folder.setdefault(folder_of(file, args.folders), {})
                mine[result] = mine.get(result, 0) + 1
                out.write(f"{result}\t{file}:{number}\t{before.strip()}\t{after.strip()}\n")
                out.flush()
                print(f"[{index}/{len(chosen)}] {result:9} {file}:{number}", flush=True)
        for name, counts in sorted(per_folder.items()) + [("all", tally)]:
            counted = counts.get("killed", 0) + counts.get("timeout", 0) + counts.get("survived", 0)
            score = (counted - counts.get("survived", 0)) / counted if counted else 0
            print(f"mutate: {name:12} {counts}; score {score:.3f} of the {counted} that compiled")
    finally:
        subprocess.call(["git", "-C", repo, "worktree", "remove", "--force", tree], stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
