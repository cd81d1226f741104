#!/usr/bin/env python3
"""Runs every command a Markdown page shows, in order, as a reader would type them.

The convention of the pages:
- A ```sh block holds commands: they are run, block after block, by one bash (so a variable
  or a folder made in one block is there in the next), stopping at the first that fails.
- A line ending in `# exits with N` is a command that must end with exit code N; every other
  command must succeed.
- ```console and ```text blocks are output to read, never run; so are blocks of data (ini,
  json, ...). A ```bash or ```shell block, or a fence with no language, is refused: say sh
  (run) or console (shown).
- `<!-- not run: REASON -->` on the line above a sh block keeps it from being run; REASON says
  why and which test covers it instead. Such blocks are counted and listed.
- `<!-- needs: FACILITY, ... -->` above a sh block runs it only where the machine has them:
  `root`, `loop` (loop devices), `fuse` (FUSE for a user). Where one is missing the block is
  skipped with the reason (the test then skips, or fails under CI=true).

The commands run in a scratch folder, with HOME and XDG_CONFIG_HOME in it, standard input from
the null device (so a batch ends once the diskette in the drive is filed, as Ctrl+D ends it at
a terminal), and PATH holding this build's tavrel-cli and tavrel-practice-drive first. Drive
A: is a made-up 1.44 MB FAT diskette (mkfs.fat and mcopy), mapped in the scratch profile.
What a page leaves mounted or attached under the scratch folder is undone afterwards.

Usage: commands_test.py TOOL_DIR PRACTICE_DRIVE_DIR PAGE.md"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import doc_markdown  # noqa: E402

SKIP = 77
RUN_LANGS = {"sh"}
REFUSED_LANGS = {"", "bash", "shell", "zsh", "shell-session", "shellsession"}
EXITS_WITH = re.compile(r"^(?P<command>.*\S)\s+# exits with (?P<code>\d+)\b.*$")
FACILITIES = ("root", "loop", "fuse")
TIMEOUT = 600


def under_ci():
    return os.environ.get("CI") == "true"


def missing_facility(name):
    """Why the machine lacks a facility, or None when it has it."""
    if name == "root":
        return None if os.geteuid() == 0 else "not root"
    if name == "loop":
        if os.geteuid() != 0:
            return "loop devices need root"
        if not os.path.exists("/dev/loop-control") or not shutil.which("losetup"):
            return "no loop devices (/dev/loop-control or losetup missing)"
        found = subprocess.run(["losetup", "--find"], capture_output=True, text=True)
        return None if found.returncode == 0 else f"losetup --find: {found.stderr.strip()}"
    if name == "fuse":
        if not os.path.exists("/dev/fuse"):
            return "no /dev/fuse"
        if not shutil.which("fusermount3"):
            return "fusermount3 is not installed (package fuse3)"
        return None
    return f"unknown facility {name!r}"


def make_diskette(path, label, scratch):
    """A 1.44 MB FAT diskette image with a few files, as an archive box's diskette might be."""
    subprocess.run(["mkfs.fat", "-C", "-n", label, path, "1440"], check=True,
                   stdout=subprocess.DEVNULL)
    letter = os.path.join(scratch, "LETTER.TXT")
    with open(letter, "w") as f:
        f.write("".join(f"Line {i} of a letter kept on a diskette.\r\n" for i in range(1, 400)))
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    subprocess.run(["mcopy", "-i", path, letter, "::/"], check=True, env=env)
    os.remove(letter)


def build_script(page_name, blocks, report):
    """The bash script of the page's runnable blocks, and the lines each block kept out."""
    body, lines_of = [], []  # script lines, and the page line of each

    def emit(text, page_line):
        body.append(text)
        lines_of.append(page_line)

    for block in blocks:
        where = f"{page_name}:{block.line}"
        if block.lang in REFUSED_LANGS:
            report["errors"].append(f"{where}: a ```{block.lang} block: say sh (run) or console (shown)")
            continue
        if block.lang not in RUN_LANGS:
            report["shown"] += 1
            continue
        marker = block.marker or ""
        if marker.startswith("not run:"):
            reason = marker[len("not run:"):].strip()
            if not reason:
                report["errors"].append(f"{where}: `not run:` without a reason")
            report["not_run"].append(f"{where}: {reason}")
            continue
        if marker.startswith("needs:"):
            wanted = [w.strip() for w in marker[len("needs:"):].split(",") if w.strip()]
            unknown = [w for w in wanted if w not in FACILITIES]
            if unknown or not wanted:
                report["errors"].append(f"{where}: needs: {', '.join(unknown) or 'nothing'}: "
                                        f"known facilities are {', '.join(FACILITIES)}")
                continue
            reasons = [r for r in (missing_facility(w) for w in wanted) if r]
            if reasons:
                report["skipped"].append(f"{where}: needs {', '.join(wanted)}: {'; '.join(reasons)}")
                continue
        elif marker:
            report["errors"].append(f"{where}: the comment above the block is neither "
                                    f"`not run: REASON` nor `needs: FACILITY`: {marker}")
            continue
        report["run"] += 1
        for offset, line in enumerate(block.lines, 1):
            page_line = block.line + offset
            expected = EXITS_WITH.match(line)
            if expected:
                command, code = expected.group("command"), expected.group("code")
                emit(f"__s=0; {command} || __s=$?; __expect {code} \"$__s\"", page_line)
            else:
                emit(line, page_line)
            if line.strip() and not line.strip().startswith("#"):
                report["commands"] += 1
    header = [
        "set -eE",
        f"__expect() {{ [ \"$2\" = \"$1\" ] || {{ echo \"FAILED: {page_name}:${{__md[${{BASH_LINENO[0]}}]:-?}}: "
        f"expected exit code $1, got $2\" >&2; exit 1; }}; }}",
        # Where the tests run as root without sudo, a sudo line runs as it would with it.
        "if [ \"$(id -u)\" = 0 ] && ! command -v sudo >/dev/null; then sudo() { \"$@\"; }; fi",
    ]
    first_body_line = len(header) + 5  # after the mapping, the trap, PS4 and set -x lines
    pairs = " ".join(f"[{first_body_line + i}]={n}" for i, n in enumerate(lines_of))
    header.append(f"__md=({pairs})")
    header.append(f"trap 'echo \"FAILED: {page_name}:${{__md[$LINENO]:-?}}: exit code $?: "
                  f"$BASH_COMMAND\" >&2' ERR")
    header.append(f"PS4='+ {page_name}:${{__md[$LINENO]:-?}}: '")
    header.append("set -x")
    assert len(header) + 1 == first_body_line
    return "\n".join(header + body) + "\n"


def mounts_under(folder):
    found = []
    with open("/proc/self/mountinfo") as f:
        for line in f:
            point = line.split()[4].encode().decode("unicode_escape")
            if point == folder or point.startswith(folder + os.sep):
                found.append(point)
    return found


def undo(scratch):
    """Unmounts the practice drives and detaches the loop devices a page left behind."""
    for point in reversed(mounts_under(scratch)):
        print(f"cleanup: unmounting {point}")
        subprocess.run(["fusermount3", "-u", "-z", point], capture_output=True)
    if os.geteuid() == 0 and shutil.which("losetup"):
        listing = subprocess.run(["losetup", "-n", "-O", "NAME,BACK-FILE", "-l"],
                                 capture_output=True, text=True).stdout
        for row in listing.splitlines():
            parts = row.split(None, 1)
            if len(parts) == 2 and parts[1].strip().startswith(scratch + os.sep):
                print(f"cleanup: detaching {parts[0]}")
                subprocess.run(["losetup", "-d", parts[0]], capture_output=True)


def main():
    if len(sys.argv) != 4:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 64
    tool_dir, drive_dir, page = (os.path.abspath(a) for a in sys.argv[1:])
    page_name = os.path.basename(page)
    for program in ("mkfs.fat", "mcopy"):
        if not shutil.which(program):
            reason = f"{program} is not installed (dosfstools, mtools)"
            print(("FAIL: " if under_ci() else "SKIP: ") + reason)
            return 1 if under_ci() else SKIP
    with open(page, encoding="utf-8") as f:
        blocks, _ = doc_markdown.split(f.read())
    report = {"run": 0, "commands": 0, "shown": 0, "not_run": [], "skipped": [], "errors": []}
    scratch = os.path.realpath(tempfile.mkdtemp(prefix="tavrel-docs-"))
    status = 0
    try:
        script = build_script(page_name, blocks, report)
        for error in report["errors"]:
            print(f"ERROR: {error}")
        if report["errors"]:
            return 1
        home = os.path.join(scratch, "home")
        config = os.path.join(home, ".config")
        work = os.path.join(scratch, "work")
        drives = os.path.join(scratch, "drives")
        for folder in (config, work, drives):
            os.makedirs(folder)
        diskette = os.path.join(drives, "a.img")
        make_diskette(diskette, "LETTERS", scratch)
        with open(os.path.join(config, "tavrel.INI"), "w") as f:
            f.write(f"[Drives]\nA={diskette}\n")
        env = {k: v for k, v in os.environ.items() if not k.startswith(("XDG_", "TAVREL_"))}
        env.update(HOME=home, XDG_CONFIG_HOME=config, LC_ALL="C.UTF-8",
                   PATH=os.pathsep.join([tool_dir, drive_dir, env.get("PATH", "/usr/bin:/bin")]))
        with open(os.path.join(scratch, "page.sh"), "w") as f:
            f.write(script)
        print(f"Running the sh blocks of {page} in {work}")
        process = subprocess.Popen(["bash", os.path.join(scratch, "page.sh")], cwd=work, env=env,
                                   stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            status = process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            print(f"FAIL: {page_name} did not finish in {TIMEOUT} s (a batch that waits for input?)")
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            status = 1
    finally:
        undo(scratch)
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"{page_name}: {report['run']} sh blocks run ({report['commands']} commands), "
          f"{report['shown']} blocks shown only, {len(report['not_run'])} not run, "
          f"{len(report['skipped'])} skipped")
    for line in report["not_run"]:
        print(f"  not run: {line}")
    for line in report["skipped"]:
        print(f"  skipped: {line}")
    if status != 0:
        print(f"FAIL: the commands of {page_name} stopped with exit code {status} (see FAILED above)")
        return 1
    if report["run"] == 0:
        print(f"FAIL: {page_name} has no sh block to run")
        return 1
    if report["skipped"]:
        if under_ci():
            print("FAIL: CI=true and a facility is missing")
            return 1
        print("SKIP: some blocks need what this machine lacks (above); the others passed")
        return SKIP
    print(f"PASS: every command of {page_name} ran as shown")
    return 0


if __name__ == "__main__":
    sys.exit(main())
