#!/usr/bin/env python3
"""Checks that the commands and paths of the documentation still work.
  check-docs.py SOURCE_DIR BUILD_DIR WORK_DIR [FILE.md ... | --planted]
In README.md and doc/*.md (or the files named), shell examples (fenced sh,
bash or console blocks; "$ " lines) that are quick run (--help, --version,
renders of up to 10 frames with --out moved into WORK_DIR, the quick tools),
and must name existing paths, strata-render options and STRATA_* variables;
`code` paths, links and headings, and the pages the manual pages name, must
exist; the README's variable table and strata --help must agree. One line
per fault, status 1 on any. --planted checks the check."""
import glob
import os
import re
import shlex
import shutil
import subprocess
import sys

src, build, work = (os.path.abspath(a) for a in sys.argv[1:4])
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
planted = sys.argv[4:] == ["--planted"]
docs = [os.path.abspath(f) for f in sys.argv[4:] if not planted] or \
    [os.path.join(src, "README.md")] + sorted(glob.glob(os.path.join(src, "doc", "*.md")))
top = {e for e in os.listdir(src) if not e.startswith(".") and not e.startswith("build")}
QUICK = {"tools/check-layering.sh", "tools/test-ratio.sh"}
faults = []


def shown(path):
    return os.path.relpath(path, src) if path.startswith(src + os.sep) else path


def fault(where, text):
    faults.append(f"{where}: {text}")


def run(args, cwd, timeout=60):
    try:
        return subprocess.run(args, cwd=cwd, env=dict(os.environ, LIBGL_ALWAYS_SOFTWARE="1"), capture_output=True,
                              text=True, timeout=timeout)
    except (OSError, subprocess.TimeoutExpired) as error:
        return subprocess.CompletedProcess(args, 1, "", str(error))


programs = {name: os.path.join(build, name) for name in ("strata", "strata-render")}
strata_help, render_help = (run([programs[name], "--help"], src).stdout for name in programs)
if not strata_help.strip() or "--frames" not in render_help:
    sys.exit("check-docs: strata --help or strata-render --help printed no usage text")
render_options = set(re.findall(r"--[a-z][a-z-]*", render_help)) | {"-h"}
known_vars = set(re.findall(r"STRATA_[A-Z0-9_]+", strata_help))
readme = open(os.path.join(src, "README.md"), encoding="utf-8").read()
section = readme.partition("\n## Environment variables\n")[2].split("\n## ")[0]
variables = [row.split("|") for row in section.splitlines() if row.startswith("|")][2:]
known_vars |= {v for row in variables for v in re.findall(r"`(STRATA_[A-Z0-9_]+)`", row[1])}


def repo_path(word, cwd):
    """The repository-relative path a word names, or None when it names none."""
    word = word.split("::")[0].rstrip(",.;:)")
    if "/" not in word or word.startswith(("/", "~", "$", "-")) or "://" in word or "..." in word:
        return None
    path = os.path.relpath(os.path.normpath(os.path.join(cwd, word)), src)
    return path if path.split(os.sep)[0] in top else None


def check_path(where, path):
    pattern = os.path.join(src, re.sub(r"<[^>]*>", "*", path))
    if not glob.glob(pattern) and not glob.glob(pattern + ".*"):
        fault(where, f"no such file in the repository: {path}")


def value_of(args, option):
    return args[args.index(option) + 1] if option in args[:-1] else ""


def plain(cell):
    """A table cell as strata --help prints it: no code marks, no links."""
    cell = re.sub(r" *\(\[[^]]*\]\([^)]*\)\)", "", cell.replace("`", ""))
    return re.sub(r"\[([^]]*)\]\([^)]*\)", r"\1", cell).strip()


def check_command(where, line, cwd):
    try:
        lexer = shlex.shlex(line, posix=True, punctuation_chars=True)
        lexer.whitespace_split, lexer.commenters = True, "#"
        words = list(lexer)
    except ValueError as error:
        return fault(where, f"cannot read the command ({error}): {line}")
    segments = [[]]
    for w in words:
        if w in ("&&", "||", ";", "|", "(", ")", "&"):
            segments.append([])
        else:
            segments[-1].append(w)
    for seg in segments:
        count = next((i for i, w in enumerate(seg) if not re.match(r"^[A-Za-z_][A-Za-z0-9_]*=", w)), len(seg))
        assigns, rest = seg[:count], seg[count:]
        if not rest:
            continue
        if rest[0] == "cd" and len(rest) == 2:
            cwd = os.path.normpath(os.path.join(cwd, rest[1]))
            continue
        name, args = os.path.basename(rest[0]), rest[1:]
        for w in rest + [a.split("=", 1)[1] for a in assigns] + [w.split("=", 1)[1] for w in rest if "=" in w]:
            if repo_path(w, cwd):
                check_path(where, repo_path(w, cwd))
        for var in (a.split("=", 1)[0] for a in assigns if name in programs or name == "run.sh"):
            if var.startswith("STRATA_") and var not in known_vars:
                fault(where, f"{var} is neither in strata --help nor in the README's variable table")
        for option in (w.split("=", 1)[0] for w in args if name == "strata-render" and w.startswith("-")):
            if option not in render_options:
                fault(where, f"strata-render has no option {option}")
        if name in programs and args in (["--help"], ["--version"]):
            result = run([programs[name]] + args, cwd)
            if result.returncode != 0 or not result.stdout.strip():
                fault(where, f"`{line}` ends with status {result.returncode} or prints nothing")
        elif name == "strata-render" and "|" not in words and not {"--video", "--raw"} & set(args):
            if value_of(args, "--frames").isdigit() and int(value_of(args, "--frames")) <= 10:
                run_render(where, line, args, cwd)
        elif repo_path(rest[0], cwd) in QUICK:
            result = run([os.path.join(src, repo_path(rest[0], cwd))] + args, cwd, timeout=120)
            if result.returncode != 0:
                fault(where, f"`{line}` ends with status {result.returncode}: {result.stdout[-200:]}{result.stderr[-200:]}")


def run_render(where, line, args, cwd):
    """Runs a short render with its pictures in WORK_DIR; each frame of --png-frames must be there."""
    out = os.path.join(work, "render-%d" % len(os.listdir(work)))
    os.makedirs(out)
    if "--out" in args[:-1]:
        args = args[:args.index("--out")] + args[args.index("--out") + 2:]
    result = run([programs["strata-render"]] + [a for a in args if not a.startswith("--out=")] + ["--out", out], cwd)
    wanted = [n for n in value_of(args, "--png-frames").split(",") if n.isdigit()]
    pngs = [f for f in os.listdir(out) if f.endswith(".png")]
    if result.returncode != 0 or any(f"frame-{int(n):06d}.png" not in pngs for n in wanted):
        fault(where, f"`{line}` ends with status {result.returncode}, PNGs {sorted(pngs)}: {result.stderr[-300:].strip()}")


def anchors(path):
    text = re.sub(r"^```.*?^```", "", open(path, encoding="utf-8").read(), flags=re.M | re.S)
    return {re.sub(r"[^\w\- ]", "", h.strip().lower().replace("`", "")).replace(" ", "-")
            for h in re.findall(r"^#+ (.*)$", text, flags=re.M)}


def check_page(doc):
    block, cwd, joined = None, src, ""
    for number, raw in enumerate(open(doc, encoding="utf-8").read().splitlines(), 1):
        where = f"{shown(doc)}:{number}"
        fence = re.match(r"^```\s*(\w*)", raw)
        if fence:
            block, cwd, joined = (None if block is not None else fence.group(1)), src, ""
            continue
        if block in ("sh", "bash") or (block in ("console", None) and raw.startswith("$ ")):
            line = joined + (raw[2:] if raw.startswith("$ ") else raw)
            joined = line.rstrip().rstrip("\\") + " " if re.search(r"(\\|\||&&)\s*$", line) else ""
            if joined:
                continue
            check_command(where, line, cwd)
            if re.fullmatch(r"\s*cd\s+\S+\s*", line):
                cwd = os.path.normpath(os.path.join(cwd, line.split()[1]))
        if block is not None:
            continue
        for word in (w for span in re.findall(r"`([^`]+)`", raw) for w in re.split(r"[\s=]+", span)):
            if repo_path(word, src):
                check_path(where, repo_path(word, src))
        for target in (t for t in re.findall(r"\]\(([^)\s]+)\)", raw) if "://" not in t):
            file, _, anchor = target.partition("#")
            path = os.path.normpath(os.path.join(os.path.dirname(doc), file)) if file else doc
            if not os.path.exists(path):
                fault(where, f"the link {target} leads nowhere")
            elif anchor and path.endswith(".md") and anchor not in anchors(path):
                fault(where, f"the link {target} names no heading of {shown(path)}")


# Planted pages: the text, and a fragment of the fault line it must give ("" = the page must pass).
PLANTS = [
    ("```sh\ntools/no-such-script.sh 10\n```", "no such file in the repository: tools/no-such-script.sh"),
    ("Read `platform/NoSuchFile.h` first.", "no such file in the repository: platform/NoSuchFile.h"),
    ("```bash\nbuild/strata-render stage --frames 600 --no-such-option 3\n```", "has no option --no-such-option"),
    ("```sh\nbuild/strata-render stage --frames 600 \\\n   --png-evry 60\n```", "has no option --png-evry"),
    ("```sh\nSTRATA_NO_SUCH=1 ./run.sh\n```", "STRATA_NO_SUCH is neither"),
    ("```console\n$ cd stage\n$ ../tools/gone.sh\n```", "no such file in the repository: tools/gone.sh"),
    ("$ build/strata-render no-such-stage --frames 2 --png-frames 1", "ends with status"),
    ("See [the keys](#no-such-heading).", "names no heading"),
    ("![shot](no-such.png)", "leads nowhere"),
    ("# Fine\n\n```sh\ncd stage\n../build/strata-render . --frames 2 --png-frames 1 --out x\n```\n\n```console\n"
     "$ build/strata --version\nstrata tools/output-not-a-path.sh\n```\n\nSee `tools/soak.sh` and [above](#fine).", ""),
]
if planted:
    wrong = []
    for i, (text, expected) in enumerate(PLANTS):
        page = os.path.join(work, f"plant-{i}.md")
        with open(page, "w", encoding="utf-8") as f:
            f.write(text + "\n")
        faults.clear()
        check_page(page)
        if not expected and faults or expected and not any(
                re.match(re.escape(shown(page)) + r":\d+: .*" + re.escape(expected), f) for f in faults):
            wrong.append(f"FAIL: plant {i} ({expected or 'must pass'}): {faults}")
    print("\n".join(wrong) or f"check-docs: {len(PLANTS)} planted pages judged as expected")
    sys.exit(1 if wrong else 0)

for doc in docs:
    check_page(doc)
# The README's variable table and strata --help name the same variables, once a row, each with the
# same effect, values and default once code marks and links are left out.
in_table = sorted(f"  {plain(c[1]):<24}{plain(c[4])} [{plain(c[2])}; default: {plain(c[3])}]" for c in variables)
in_help = sorted(line for line in strata_help.splitlines() if re.match(r"  [A-Z][A-Z_]* ", line))
if not in_help or in_help != in_table or len({row.split()[0] for row in in_table}) != len(in_table):
    fault("README.md", "the variable table and strata --help differ (- only in --help, + only in the table):\n" +
          "\n".join([f"- {h}" for h in in_help if h not in in_table] +
                    [f"+ {t}" for t in in_table if t not in in_help]))
for page in glob.glob(os.path.join(src, "doc", "*.1")):
    for md in set(re.findall(r"[\w-]+\.md", open(page, encoding="utf-8").read())):
        if not os.path.exists(os.path.join(src, "doc", md)) and not os.path.exists(os.path.join(src, md)):
            fault(shown(page), f"names {md}, which is not in doc/")
print("\n".join(faults + [f"check-docs: {len(docs)} files, {len(faults)} fault(s)"]))
sys.exit(1 if faults else 0)
