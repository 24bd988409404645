#!/usr/bin/env python3
"""Runs vireo-migrate and the reference converter on the same generated
projects and compares exit status and every file byte for byte.

    cross_check.py [--binary PATH] [--seeds N] [--first S] [--keep DIR] [-j J]
                   [--codepage N]

Prints one line per mismatch (seed, file, first differing line of both
sides) and ends with "cross-check: N passed, M failed"; exits 1 when any
seed failed.
"""

import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import generate_projects  # noqa: E402
import vb_convert  # noqa: E402

STATUSES = {}  # reference exit status -> seeds
DEFAULT_BINARY = os.path.join(HERE, "..", "..", "build", "default", "src", "vireo-migrate")


def tree(root):
    """Relative path -> bytes of every file under root."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root)] = f.read()
    return files


def stats(root):
    """Relative path -> (inode, mtime, mode) of every file under root."""
    out = {}
    for folder, _, names in os.walk(root):
        for name in names:
            st = os.stat(os.path.join(folder, name))
            out[os.path.relpath(os.path.join(folder, name), root)] = (
                st.st_ino, st.st_mtime_ns, st.st_mode)
    return out


def physical_lines(data):
    """Lines with their terminators (CR LF, CR or LF)."""
    return re.findall(rb"[^\r\n]*(?:\r\n|\r|\n)|[^\r\n]+$", data)


def first_difference(a, b):
    la = physical_lines(a)
    lb = physical_lines(b)
    for i in range(max(len(la), len(lb))):
        x = la[i] if i < len(la) else b"<end of file>"
        y = lb[i] if i < len(lb) else b"<end of file>"
        if x != y:
            return i + 1, x, y
    return 0, b"", b""


def show(data):
    return repr(data)[2:-1][:160]


def name(rel):
    """A relative path for the report; names that are not UTF-8 (Windows-1252
    bytes on disk) are shown with escapes."""
    return os.fsencode(rel).decode("utf-8", "backslashreplace")


def check_seed(seed, binary, scratch, codepage=None):
    """Returns a list of mismatch lines (empty when both sides agree)."""
    base = os.path.join(scratch, "seed%d" % seed)
    gen = os.path.join(base, "gen")
    info = generate_projects.generate(seed, gen)
    ours, theirs = os.path.join(base, "ref"), os.path.join(base, "bin")
    shutil.copytree(gen, ours)
    shutil.copytree(gen, theirs)
    tmp = os.path.join(base, "tmp")
    os.makedirs(tmp)

    before = stats(theirs)
    original = tree(gen)
    env = dict(os.environ, WINEPREFIX="", TMPDIR=tmp)
    options = ["--codepage", str(codepage)] if codepage is not None else []
    proc = subprocess.run(
        [binary, "convert", "--quiet", "--from", str(info["from"]), "--to", str(info["to"])]
        + options + [os.path.join(theirs, info["project"])],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
        timeout=120)
    expected = vb_convert.convert_project(os.path.join(ours, info["project"]),
                                          info["from"], info["to"], codepage=codepage or 1252)

    STATUSES[expected] = STATUSES.get(expected, 0) + 1
    tag = "seed %d (%d->%d)" % (seed, info["from"], info["to"])
    problems = []
    if proc.returncode != expected:
        err = proc.stderr.decode("latin-1").strip().replace("\n", " | ")[:300]
        problems.append("%s: exit status: binary %d, reference %d  [%s]"
                        % (tag, proc.returncode, expected, err))
    a, b = tree(theirs), tree(ours)
    for rel in sorted(set(a) | set(b)):
        if rel not in a:
            problems.append("%s: %s: missing after the binary's run" % (tag, name(rel)))
        elif rel not in b:
            problems.append("%s: %s: left by the binary only" % (tag, name(rel)))
        elif a[rel] != b[rel]:
            line, x, y = first_difference(a[rel], b[rel])
            problems.append("%s: %s: line %d: binary %s | reference %s"
                            % (tag, name(rel), line, show(x), show(y)))
    # An original whose bytes stay the same is not rewritten, and a replaced
    # one keeps its permissions.
    after = stats(theirs)
    for rel, (ino, mtime, mode) in sorted(before.items()):
        if rel not in after:
            continue
        # (a commit that failed half-way may put old bytes back in place)
        rolled_back = proc.returncode == 1 and expected != 1
        if (a.get(rel) == original.get(rel) and after[rel][:2] != (ino, mtime)
                and not rolled_back):
            problems.append("%s: %s: rewritten with the same bytes" % (tag, name(rel)))
        if after[rel][2] != mode:
            problems.append("%s: %s: mode %o became %o" % (tag, name(rel), mode, after[rel][2]))
    left = os.listdir(tmp)
    if left:
        problems.append("%s: temporary files left: %s" % (tag, " ".join(sorted(left))[:200]))
    if not problems:
        shutil.rmtree(base)
    return problems


def main(argv):
    ap = argparse.ArgumentParser()
    ap.add_argument("--binary", default=DEFAULT_BINARY)
    ap.add_argument("--seeds", type=int, default=200)
    ap.add_argument("--first", type=int, default=1)
    ap.add_argument("--keep", help="folder to keep failing seeds' projects in")
    ap.add_argument("-j", "--jobs", type=int, default=2)
    ap.add_argument("--codepage", type=int, help="passed to both converters")
    args = ap.parse_args(argv[1:])

    binary = os.path.abspath(args.binary)
    if not os.access(binary, os.X_OK):
        print("cross-check: no binary at %s" % binary, file=sys.stderr)
        return 2
    scratch = args.keep or tempfile.mkdtemp(prefix="vr5-cross-")
    os.makedirs(scratch, exist_ok=True)
    start = time.time()
    passed = failed = 0
    seeds = range(args.first, args.first + args.seeds)
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        for seed, problems in zip(seeds, pool.map(lambda s: check_seed(s, binary, scratch, args.codepage), seeds)):
            if problems:
                failed += 1
                for p in problems:
                    print(p)
            else:
                passed += 1
    if not args.keep:
        shutil.rmtree(scratch, ignore_errors=True)
    elif failed:
        print("failing projects kept in %s" % scratch)
    print("(%.1f s; exit statuses %s)" % (time.time() - start, ", ".join(
        "%d: %d" % kv for kv in sorted(STATUSES.items()))), file=sys.stderr)
    print("cross-check: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
