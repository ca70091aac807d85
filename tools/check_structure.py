#!/usr/bin/env python3
"""Checks the shape of the source against the rules the layout keeps:

  cycle       no units (a source file with its header, and its platform
              files) that include each other, directly or round a loop
  program     meshcheck/ holds the program only: at most a fifth of the
              product code's lines
  namespace   every header's names inside a namespace
  internal    no file includes another folder's header that says it is
              internal to its library
  platform    no #ifdef _WIN32 or #if MESHCHECK_THREADS inside a function
              body, outside files named for the platform or the single-thread
              variant
  length      no function longer than 60 lines, outside picture/'s
              rasteriser and meshmend's vertex kernels

    tools/check_structure.py SOURCE_DIR [--pending FILE]

Each finding is one line, "rule: what". Findings listed in the pending file
(one a line; a line starting with '#' is a comment) are the ones still being worked off: they
are printed but do not fail the check. The check fails (status 1) on any other
finding, and on a pending line that no longer matches a finding, so that the
list only shrinks.
"""

import argparse
import os
import re
import sys

PRODUCT = ["format", "archive", "picture", "pool", "game", "diagnose", "page", "meshcheck",
           "meshmend", "sphereset", "cli"]
# Long by nature: the triangle rasteriser and the repair's vertex kernels,
# written as one loop each for speed.
LENGTH_EXEMPT = ["picture/render.cpp", "meshmend/surface_normals.cpp", "meshmend/repair.cpp"]
MAX_LINES = 60
PLATFORM_FILE = re.compile(r"_(posix|windows|single|threads)\.(cpp|hpp)$")
PLATFORM_IF = re.compile(r"^\s*#\s*(ifdef\s+_WIN32|ifndef\s+_WIN32|if\s+.*_WIN32|"
                         r"if\s+!?\s*MESHCHECK_THREADS)")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def product_files(root):
    files = []
    for folder in PRODUCT:
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if name.endswith((".cpp", ".hpp")):
                files.append(f"{folder}/{name}")
    return files


def blank_comments_and_strings(text):
    """The text with comments, string and character literals replaced by
    spaces, newlines kept, so that braces and lines can be counted."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + " " * (j - i - 2) + c if j - i >= 2 else c)
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def blank_preprocessor(text):
    lines = text.split("\n")
    out, continued = [], False
    for line in lines:
        directive = continued or line.lstrip().startswith("#")
        continued = directive and line.endswith("\\")
        out.append(" " * len(line) if directive else line)
    return "\n".join(out)


def blocks(code):
    """Every brace block as (kind, open offset, close offset, depth), kind
    being 'function', 'namespace' or 'other' as the text before the brace
    says."""
    found, stack = [], []
    last = 0  # where the statement before the next brace starts
    for i, c in enumerate(code):
        if c == "{":
            head = code[last:i].strip()
            stack.append((classify(head, stack), i))
            last = i + 1
        elif c == "}":
            if stack:
                kind, start = stack.pop()
                found.append((kind, start, i, len(stack)))
            last = i + 1
        elif c == ";":
            last = i + 1
    return found


def classify(head, stack):
    inside = [kind for kind, _ in stack]
    if "function" in inside:
        return "inner"
    words = head.split()
    if re.match(r"^(inline\s+)?namespace\b", head) or head.startswith('extern "'):
        return "namespace"
    if re.search(r"\b(struct|class|enum|union)\b[^()]*$", head):
        return "type"
    if head.endswith("=") or head.endswith(",") or head.endswith("(") or not words:
        return "other"
    if re.search(r"\)\s*(const|noexcept|override|final|mutable|\s|->\s*[\w:<>&*, ]+)*$", head) \
            or re.search(r"\)\s*:\s*[\w:]+[({]", head):
        return "function"
    return "other"


def line_of(code, offset):
    return code.count("\n", 0, offset) + 1


def function_name(code, start):
    head = code[max(0, code.rfind(";", 0, start), code.rfind("}", 0, start)) + 1:start]
    m = re.search(r"([~\w:]+)\s*\(", re.sub(r"\s+", " ", head))
    return m.group(1) if m else "?"


class Unit:
    def __init__(self, path, text):
        self.path = path
        self.text = text
        self.code = blank_preprocessor(blank_comments_and_strings(text))
        self.blocks = blocks(self.code)


def unit_of(path):
    # A unit's steps that each system takes its own way (X_platform.hpp,
    # X_posix.cpp, X_windows.cpp) belong to the unit X.
    return re.sub(r"_(platform|posix|windows)$", "", path.rsplit(".", 1)[0])


def check_cycles(units, headers):
    edges = {}
    for u in units.values():
        for line in u.text.split("\n"):
            m = INCLUDE.match(line)
            if not m:
                continue
            target = headers.get(os.path.basename(m.group(1)))
            if target and unit_of(target) != unit_of(u.path):
                edges.setdefault(unit_of(u.path), set()).add(unit_of(target))
    findings, index, low, on, stack, counter = [], {}, {}, set(), [], [0]

    def visit(v):  # Tarjan's strongly connected components
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in sorted(edges.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                findings.append("cycle: " + " ".join(sorted(group)))

    for v in sorted(edges):
        if v not in index:
            visit(v)
    return findings


def check_program_share(units):
    lines = {}
    for u in units.values():
        folder = u.path.split("/")[0]
        lines[folder] = lines.get(folder, 0) + u.text.count("\n")
    total = sum(lines.values())
    share = lines.get("meshcheck", 0) / total if total else 0
    if share > 0.2:
        return [f"program: meshcheck/ holds {share:.0%} of the product code, more than a fifth"]
    return []


def check_namespaces(units):
    findings = []
    for u in units.values():
        if not u.path.endswith(".hpp"):
            continue
        code = u.code
        covered = [(s, e) for kind, s, e, depth in u.blocks if kind == "namespace" and depth == 0]
        outside = []
        pos = 0
        for s, e in covered:
            outside.append(code[pos:s])
            pos = e + 1
        outside.append(code[pos:])
        rest = re.sub(r"(inline\s+)?namespace\s*[\w:]*\s*$", "", "".join(outside))
        rest = re.sub(r"(inline\s+)?namespace\s*[\w:]*\s*(?=\s)", " ", rest)
        if rest.strip(" \n;"):
            findings.append(f"namespace: {u.path} declares names outside a namespace")
    return findings


def check_internal(units, headers):
    internal = {h for h, path in headers.items()
                if re.search(r"[Ii]nternal to", units[path].text.split("#pragma")[0])}
    findings = []
    for u in units.values():
        for line in u.text.split("\n"):
            m = INCLUDE.match(line)
            if m and os.path.basename(m.group(1)) in internal:
                target = headers[os.path.basename(m.group(1))]
                if target.split("/")[0] != u.path.split("/")[0]:
                    findings.append(f"internal: {u.path} includes {target}")
    return findings


def check_platform(units):
    findings = []
    for u in units.values():
        if PLATFORM_FILE.search(u.path):
            continue
        bodies = [(line_of(u.code, s), line_of(u.code, e)) for kind, s, e, _ in u.blocks
                  if kind == "function"]
        for number, line in enumerate(u.text.split("\n"), 1):
            if PLATFORM_IF.match(line) and any(a < number < b for a, b in bodies):
                findings.append(f"platform: {u.path}:{number}: {line.strip()} in a function body")
    return findings


def check_lengths(units):
    findings = []
    for u in units.values():
        if u.path in LENGTH_EXEMPT:
            continue
        for kind, s, e, _ in u.blocks:
            if kind != "function":
                continue
            lines = line_of(u.code, e) - line_of(u.code, s) + 1
            if lines > MAX_LINES:
                findings.append(f"length: {u.path}: {function_name(u.code, s)} has {lines} lines")
    return findings


def read_pending(path):
    if not path:
        return []
    pending = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                pending.append(line)
    return pending


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("source")
    parser.add_argument("--pending")
    args = parser.parse_args()
    units = {}
    for path in product_files(args.source):
        with open(os.path.join(args.source, path), encoding="utf-8", errors="replace") as f:
            units[path] = Unit(path, f.read())
    headers = {os.path.basename(p): p for p in units if p.endswith(".hpp")}
    findings = (check_cycles(units, headers) + check_program_share(units) +
                check_namespaces(units) + check_internal(units, headers) +
                check_platform(units) + check_lengths(units))
    # The share, the lengths and the lines change with every edit: a pending
    # entry names the rule and the file or function, not the figure.
    def key(finding):
        finding = re.sub(r"^(platform: [^:]+):\d+:", r"\1:", finding)
        return re.sub(r" (holds \d+%|has \d+ lines).*$", "", finding)

    pending = sorted(set(read_pending(args.pending)))
    failed = False
    for finding in findings:
        listed = key(finding) in pending
        print(("pending " if listed else "") + finding)
        failed = failed or not listed
    for entry in pending:
        if entry not in {key(f) for f in findings}:
            print(f"resolved, take it off the pending list: {entry}")
            failed = True
    print(f"{len(findings)} findings, {len(pending)} pending")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
