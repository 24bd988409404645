"""What the speed scripts share: timing one child process with its own peak
memory, finding the files a conversion changed, and the durable-rewrite
floor (durable_floor) run over the same files."""
import filecmp
import os
import subprocess
import tempfile
import time
from pathlib import Path


TIME = "/usr/bin/time"


def run_child(command, env):
    """Runs `command`; returns (seconds, the child's own peak memory in MiB).

    A child started by this script keeps this script's peak as its own: Linux
    carries the largest resident size across exec, and Python starts children
    by vfork, from its own memory. So the peak is taken by GNU time, a small
    process whose child starts from its memory, not this script's."""
    with tempfile.NamedTemporaryFile("r") as peak:
        measured = [TIME, "-f", "%M", "-o", peak.name, *command] if os.path.exists(TIME) \
            else command
        start = time.perf_counter()
        child = subprocess.Popen(measured, env=env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.perf_counter() - start
        code = os.waitstatus_to_exitcode(status)
        if code not in (0, 3):  # 3: a project that needed no change
            raise SystemExit(f"{command[0]} exited with {code}: {' '.join(command)}")
        kib = int(peak.read().split()[-1]) if measured is not command else usage.ru_maxrss
    return seconds, kib / 1024


def settle():
    """Writes every file made so far to the disk, as a user's project already
    is: left dirty, copies made for a run would be written back during
    whichever run came next, and freeing them would cost nothing. The second
    sync writes what the first wrote into a disk image's own file."""
    os.sync()
    os.sync()


def recycle_memory(source):
    """Drops the page cache (as root; otherwise does nothing), then reads
    `source` back into it. In a virtual machine, memory the guest never
    touched costs a fault in the host on first use: a page cache that grows
    round after round into such memory made every write of the later rounds
    slower (2 to 4 times, in the kernel's copy into the cache), and which
    runs it hit depended on the round. Dropped, the cache reuses memory
    already touched."""
    os.sync()
    try:
        with open("/proc/sys/vm/drop_caches", "w") as drop:
            drop.write("3\n")
    except OSError:
        return
    for path in Path(source).rglob("*"):
        if path.is_file():
            with open(path, "rb") as f:
                while f.read(1 << 20):
                    pass


def spread_folders(work):
    """Has ext4 place each folder made in `work` in a block group of its own
    choosing, away from the others (the Orlov allocator's top-level rule).
    Without a journal, ext4 skips inodes freed in the last minute or more when it
    allocates new ones, scanning past each: a run whose folder shared a group
    with the files the run before it freed would pay for that run's frees."""
    subprocess.run(["chattr", "+T", str(work)], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)


def changed_files(source, converted):
    """The files (relative paths) whose bytes a conversion of `source` into
    `converted` changed."""
    changed = []
    for path in sorted(Path(source).rglob("*")):
        if path.is_file():
            relative = path.relative_to(source)
            if not filecmp.cmp(path, Path(converted) / relative, shallow=False):
                changed.append(relative)
    return changed


def floor_command(floor, tree, changed, list_dir):
    """The durable_floor command that rewrites `changed` inside `tree`."""
    listing = Path(list_dir) / f"floor-{Path(tree).name}.list"
    listing.write_text("".join(f"{Path(tree) / relative}\n" for relative in changed))
    return [str(floor), str(listing)]
