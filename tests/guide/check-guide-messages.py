#!/usr/bin/env python3
"""Checks that the user guide names every text the tool can show.

The texts are read from the code of the tool, the viewer and the error
handling, so a message that is added or reworded there fails this check
until the guide follows:

- what is handed to a message box (ShowMessage, MessageBoxW) or set as a
  window's text (SetText, SetWindowTextW), with the named constants and the
  texts of the functions it calls resolved;
- the descriptions of run-time errors (literal texts given to RuntimeError,
  and what functions named ...Description or ...Message return), which the
  run-time error message and the call-stack report show;
- the fixed parts of the call-stack report (REPORT_FUNCTIONS).

A message put together from pieces is checked piece by piece: every piece of
three letters or more must appear in the guide as written (blanks and line
breaks count as one blank).

It also checks that every relative link in README.md and docs/*.md leads to
a file that exists and, where it names a heading of a Markdown file, to a
heading that exists, so that moving a section does not strand its readers.

    check-guide-messages.py [--list] SOURCE_ROOT [GUIDE]
"""
import re
import sys
from pathlib import Path

CODE_FOLDERS = ("errors", "tool", "viewer", "pictures")
SINKS = ("ShowMessage", "MessageBoxW", "SetText", "SetWindowTextW")
# The functions that compose the call-stack report's text.
REPORT_FUNCTIONS = ("CallStackReport", "ErrorDetails", "CallStackEntry")
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'", "0": "\0"}


def strip_comments(code):
    """The code with comments blanked out; string and character literals kept."""
    out, i, n = [], 0, len(code)
    while i < n:
        if code.startswith("//", i):
            end = code.find("\n", i)
            i = n if end < 0 else end
        elif code.startswith("/*", i):
            end = code.find("*/", i + 2)
            i = n if end < 0 else end + 2
            out.append(" ")
        elif code[i] in "\"'":
            quote, j = code[i], i + 1
            while j < n and code[j] != quote:
                j += 2 if code[j] == "\\" else 1
            out.append(code[i:j + 1])
            i = j + 1
        else:
            out.append(code[i])
            i += 1
    return "".join(out)


def literals(text):
    """The wide string literals in a piece of code, unescaped."""
    found = []
    for match in re.finditer(r'L"((?:[^"\\]|\\.)*)"', text):
        found.append(re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), match.group(1)))
    return found


def balanced(text, start, open_char, close_char):
    """The text between the bracket at start and its partner."""
    depth, i = 0, start
    while i < len(text):
        c = text[i]
        if c in "\"'":
            j = i + 1
            while j < len(text) and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            i = j
        elif c == open_char:
            depth += 1
        elif c == close_char:
            depth -= 1
            if depth == 0:
                return text[start + 1:i]
        i += 1
    return text[start + 1:]


class Code:
    def __init__(self, root):
        self.files = {}
        for folder in CODE_FOLDERS:
            for path in sorted((root / folder).glob("*")):
                if path.suffix in (".cpp", ".h"):
                    self.files[f"{folder}/{path.name}"] = strip_comments(path.read_text(encoding="utf-8"))
        self.constants, self.functions = {}, {}
        for code in self.files.values():
            for m in re.finditer(r'constexpr\s+wchar_t\s+(?:const\s*\*\s*)?(\w+)\s*\[\s*\]\s*=\s*L"((?:[^"\\]|\\.)*)"', code):
                self.constants[m.group(1)] = literals(f'L"{m.group(2)}"')[0]
            for m in re.finditer(r"std::wstring\s+(\w+)\s*\([^;{)]*\)\s*(?:const\s*)?(?:noexcept\s*)?\{", code):
                self.functions.setdefault(m.group(1), balanced(code, m.end() - 1, "{", "}"))

    def texts_of(self, expression, seen=()):
        """Literals of an expression, with its constants and the bodies of the
        text functions it calls resolved."""
        texts = literals(expression)
        for name in re.findall(r"\b([A-Za-z_]\w*)\b", expression):
            if name in self.constants:
                texts.append(self.constants[name])
            elif name in self.functions and name not in seen:
                texts += self.texts_of(self.functions[name], seen + (name,))
        return texts

    def messages(self):
        """(where, texts) for every text the tool can show."""
        found = []
        for where, code in self.files.items():
            for m in re.finditer(r"\b(%s)\s*\(" % "|".join(SINKS), code):
                args = balanced(code, m.end() - 1, "(", ")")
                texts = self.texts_of(args)
                if texts:
                    found.append((f"{where}: {m.group(1)}", texts))
            for m in re.finditer(r"\bRuntimeError\s*\(", code):
                texts = literals(balanced(code, m.end() - 1, "(", ")"))
                if any(t.strip() for t in texts):
                    found.append((f"{where}: RuntimeError", texts))
        for name, body in sorted(self.functions.items()):
            if name.endswith(("Description", "Message")):
                found.append((f"{name}()", self.texts_of(body, (name,))))
        for name in REPORT_FUNCTIONS:
            if name not in self.functions:
                raise SystemExit(f"check-guide-messages: the report function {name} is gone; update REPORT_FUNCTIONS")
            found.append((f"report: {name}()", self.texts_of(self.functions[name], (name,))))
        return found


def pieces(text):
    """The parts of a text that the guide must show: split at line breaks and
    tabs, trimmed, three letters or more."""
    for part in re.split(r"[\r\n\t]+", text):
        part = " ".join(part.split())
        if len(re.findall(r"[A-Za-z0-9]", part)) >= 3:
            yield part


LINK = re.compile(r"\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")


def prose_lines(path):
    """(number, line) of a Markdown file outside its fenced code blocks."""
    fenced = False
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if line.startswith("```"):
            fenced = not fenced
        elif not fenced:
            yield number, line


def anchors(path):
    """The anchors that a Markdown file's headings make, as GitHub makes them."""
    found = set()
    for _, line in prose_lines(path):
        heading = re.match(r"#{1,6}\s+(.*)", line)
        if heading:
            found.add(re.sub(r"[^\w\- ]", "", heading.group(1).strip().lower()).replace(" ", "-"))
    return found


def broken_links(root):
    """The relative links of README.md and docs/*.md whose file or heading is missing."""
    broken, total = [], 0
    for page in [root / "README.md", *sorted((root / "docs").glob("*.md"))]:
        for number, line in prose_lines(page):
            for target in LINK.findall(line):
                if re.match(r"[a-z]+:", target):
                    continue
                total += 1
                path, _, anchor = target.partition("#")
                file = page.parent / path if path else page
                if not file.exists() or (anchor and file.suffix == ".md" and anchor not in anchors(file)):
                    broken.append(f"{page.relative_to(root)}:{number}: {target}")
    return broken, total


def main(argv):
    listing = "--list" in argv
    args = [a for a in argv if a != "--list"]
    root = Path(args[0]) if args else Path(__file__).resolve().parents[2]
    guide_path = Path(args[1]) if len(args) > 1 else root / "docs" / "user-guide.md"
    guide = " ".join(guide_path.read_text(encoding="utf-8").split())
    missing, total, seen = [], 0, set()
    for where, texts in Code(root).messages():
        wanted = [p for t in texts for p in pieces(t)]
        if not wanted or tuple(wanted) in seen:
            continue
        seen.add(tuple(wanted))
        if listing:
            print(f"{where}: " + " … ".join(wanted))
        for piece in wanted:
            total += 1
            if piece not in guide:
                missing.append((where, piece))
    for where, piece in missing:
        print(f"missing from {guide_path.name}: \"{piece}\" ({where})")
    print(f"check-guide-messages: {total - len(missing)} of {total} message texts are in {guide_path.name}")
    broken, links = broken_links(root)
    for link in broken:
        print(f"broken link: {link}")
    print(f"check-guide-messages: {links - len(broken)} of {links} relative links in README.md and docs/ lead somewhere")
    return 1 if missing or total == 0 or broken else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
