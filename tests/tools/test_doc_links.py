"""The documentation's links: every relative link and image of README.md and docs/*.md leads to
a file or folder of the repository, and every #anchor to a heading of the page it names, so
that a page moved, renamed or retitled cannot leave a reader at a dead end. README.md stays a
short front door.

Run alone: /usr/bin/python3 tests/tools/test_doc_links.py
"""
import glob
import os
import re
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
README_MOST_LINES = 250

FENCE = re.compile(r"^\s*(```|~~~)")
HEADING = re.compile(r"^\s{0,3}(#{1,6})\s+(.*?)\s*#*\s*$")
CODE_SPAN = re.compile(r"(`+)(.+?)\1")
# [text](target "title") and ![alt](target): the target up to a blank or the closing bracket.
INLINE_LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^)\s>]*)>?(?:\s+[\"'][^)]*[\"'])?\s*\)")
REFERENCE = re.compile(r"^\s{0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s.*)?$")
HTML_TARGET = re.compile(r"<(?:a|img)\s[^>]*?(?:href|src)\s*=\s*[\"']([^\"']+)[\"']", re.I)
SCHEME = re.compile(r"^[a-zA-Z][a-zA-Z0-9+.-]*:")


def prose_lines(text):
    """(line number, line) of the lines outside fenced code blocks."""
    inside = None
    for number, line in enumerate(text.split("\n"), 1):
        fence = FENCE.match(line)
        if fence:
            if inside is None:
                inside = fence.group(1)
            elif fence.group(1) == inside:
                inside = None
            continue
        if inside is None:
            yield number, line


def slug(heading):
    """The anchor a heading gets, as the common Markdown renderers make it: the text without
    its markup, lower case, punctuation dropped (hyphens and underscores kept), spaces as
    hyphens."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)  # a link: its text
    text = text.replace("`", "")
    text = re.sub(r"<[^>]+>", "", text)
    text = text.strip().lower()
    text = "".join(c for c in text if c.isalnum() or c in " -_")
    return text.replace(" ", "-")


def anchors(path):
    """Every anchor of the Markdown file `path`; a repeated heading gets -1, -2, ..."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    seen = {}
    found = set()
    for _, line in prose_lines(text):
        match = HEADING.match(line)
        if not match:
            continue
        base = slug(match.group(2))
        count = seen.get(base, 0)
        seen[base] = count + 1
        found.add(base if count == 0 else f"{base}-{count}")
    return found


def link_targets(text):
    """(line number, target) of every link, image and link reference outside code."""
    for number, line in prose_lines(text):
        line = CODE_SPAN.sub("", line)
        for pattern in (INLINE_LINK, HTML_TARGET):
            for match in pattern.finditer(line):
                yield number, match.group(1)
        reference = REFERENCE.match(line)
        if reference:
            yield number, reference.group(1)


def broken_links(page, root):
    """One line per link of `page` that does not resolve inside `root`."""
    with open(page, encoding="utf-8") as f:
        text = f.read()
    where = os.path.relpath(page, root)
    problems = []
    for number, target in link_targets(text):
        if not target or SCHEME.match(target) or target.startswith("//"):
            continue  # a web address: not checked here, the machines may be offline
        path_part, _, anchor = target.partition("#")
        path_part = path_part.split("?", 1)[0]
        resolved = (os.path.normpath(os.path.join(os.path.dirname(page), path_part))
                    if path_part else page)
        inside = os.path.commonpath([os.path.abspath(resolved), os.path.abspath(root)]) == \
            os.path.abspath(root)
        if not inside or not os.path.exists(resolved):
            problems.append(f"{where}:{number}: {target}: no such file in the repository")
            continue
        if anchor:
            if not resolved.endswith(".md") or os.path.isdir(resolved):
                problems.append(f"{where}:{number}: {target}: an anchor into a file that is "
                                "not Markdown")
            elif anchor not in anchors(resolved):
                problems.append(f"{where}:{number}: {target}: no heading with that anchor in "
                                f"{os.path.relpath(resolved, root)}")
    return problems


def documentation_pages(root):
    return [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))


class DocumentationLinksTest(unittest.TestCase):
    def test_every_relative_link_and_image_resolves(self):
        pages = documentation_pages(ROOT)
        self.assertGreater(len(pages), 1, "docs/*.md holds no page")
        problems = [p for page in pages for p in broken_links(page, ROOT)]
        self.assertEqual(problems, [], "\n" + "\n".join(problems))

    def test_every_page_is_reached_from_the_readme(self):
        with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
            readme = f.read()
        linked = {os.path.normpath(os.path.join(ROOT, target.partition("#")[0]))
                  for _, target in link_targets(readme)}
        for page in documentation_pages(ROOT)[1:]:
            self.assertIn(page, linked, f"README.md links nowhere to {os.path.relpath(page, ROOT)}")

    def test_readme_stays_a_front_door(self):
        with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
            lines = f.read().count("\n")
        self.assertLessEqual(lines, README_MOST_LINES,
                             "README.md is the front door: put the new text in a page of docs/")

    def test_the_check_finds_what_is_broken_and_nothing_else(self):
        # (page text, the problems it must give), on a small tree: docs/page.md and picture.png.
        cases = [
            ("[ok](other.md) ![ok](picture.png) [ok](other.md#a-heading-with-code-and-commas)", []),
            ("[ok](#this-page) and [ok](../README.md#front-door-1)\n\n## This page", []),
            ("[web](https://example.org/missing.md) [mail](mailto:a@b.c)", []),
            ("```\n[in a fence](missing.md)\n```\n`[in a span](missing.md)`", []),
            ("[gone](missing.md)", ["docs/page.md:1: missing.md: no such file"]),
            ("line\n![gone](missing.png)", ["docs/page.md:2: missing.png: no such file"]),
            ("[out](../../outside.md)", ["docs/page.md:1: ../../outside.md: no such file"]),
            ("[x](other.md#no-such-heading)", ["docs/page.md:1: other.md#no-such-heading: no "
                                              "heading with that anchor in docs/other.md"]),
            ("[x](other.md#not-one)", ["docs/page.md:1: other.md#not-one: no heading"]),
            ("[x](#front-door-2)", ["docs/page.md:1: #front-door-2: no heading"]),
            ("[x](picture.png#part)", ["docs/page.md:1: picture.png#part: an anchor into a file"]),
            ("[ref]: missing.md", ["docs/page.md:1: missing.md: no such file"]),
        ]
        for text, expected in cases:
            with self.subTest(text=text), tempfile.TemporaryDirectory() as root:
                os.makedirs(os.path.join(root, "docs"))
                with open(os.path.join(root, "README.md"), "w", encoding="utf-8") as f:
                    f.write("# Front door\n\n## Front door\n")
                with open(os.path.join(root, "docs", "other.md"), "w", encoding="utf-8") as f:
                    f.write("# Other\n\n## A heading with `code`, and commas\n\n```\n# not one\n```\n")
                with open(os.path.join(root, "docs", "picture.png"), "wb") as f:
                    f.write(b"\x89PNG")
                page = os.path.join(root, "docs", "page.md")
                with open(page, "w", encoding="utf-8") as f:
                    f.write(text + "\n")
                found = broken_links(page, root)
                self.assertEqual(len(found), len(expected), found)
                for line, start in zip(found, expected):
                    self.assertTrue(line.startswith(start), f"{line!r} is not {start!r}...")

    def test_slugs_of_the_headings_used(self):
        for heading, expected in [
            ("Console, water budget and restarts", "console-water-budget-and-restarts"),
            ("`runoff-calibrate`", "runoff-calibrate"),
            ("Threads, memory and many machines", "threads-memory-and-many-machines"),
            ("runoff_sim/ and KGE'", "runoff_sim-and-kge"),
            ("[Linked](elsewhere.md) heading", "linked-heading"),
        ]:
            self.assertEqual(slug(heading), expected)


if __name__ == "__main__":
    unittest.main()
