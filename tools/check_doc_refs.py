#!/usr/bin/env python3
"""Every reference to documentation in the installed files leads to an
installed file.

    check_doc_refs.py PREFIX [HELP_TEXT_FILE...]

PREFIX is where the package's files were installed (the files the package
puts under /usr). Checked:

- the installed README and pages (share/doc/ormid/**/*.md): every relative
  link, with its #anchor, and every page, picture or schema they name in
  their text (`docs/batch.md`, `exports.md`, `results.schema.json`);
- the manual pages (share/man/man1/*.1.gz), the AppStream metadata and each
  HELP_TEXT_FILE (the programs' --help texts): every absolute path under
  /usr/share they name.

Prints each reference that leads nowhere and exits 1 if there is one.
"""
import gzip
import pathlib
import re
import sys

LINK = re.compile(r"\]\(([^)\s]+)\)")
# A page, picture or schema named in the text, with or without its folder.
MENTION = re.compile(r"(?<![\w/.-])((?:docs/)?[a-z][a-z0-9-]*\.(?:md|png)|"
                     r"(?:docs/)?results\.schema\.json)(?![\w-])")
USR_PATH = re.compile(r"/usr/share/[A-Za-z0-9_./+-]*[A-Za-z0-9_+-]")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$")


def anchors(page: pathlib.Path) -> set:
    """The anchors of a page's headings, as the usual Markdown renderers
    make them: lower case, punctuation dropped, blanks as hyphens."""
    found = set()
    fenced = False
    for line in page.read_text(encoding="utf-8").splitlines():
        if line.startswith("```"):
            fenced = not fenced
        m = None if fenced else HEADING.match(line)
        if not m:
            continue
        text = re.sub(r"[`*_]|\[([^]]*)\]\([^)]*\)", r"\1", m.group(1)).lower()
        slug = re.sub(r"[^\w\- ]", "", text).replace(" ", "-")
        base, n = slug, 1
        while slug in found:
            slug = f"{base}-{n}"
            n += 1
        found.add(slug)
    return found


def main() -> int:
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    prefix = pathlib.Path(sys.argv[1])
    doc_root = prefix / "share/doc/ormid"
    problems = []
    pages = sorted(doc_root.rglob("*.md"))
    if not pages:
        problems.append(f"{doc_root}: no installed pages")
    for page in pages:
        text = page.read_text(encoding="utf-8")
        # Code blocks show commands and output, not references.
        prose = re.sub(r"^```.*?^```", "", text, flags=re.S | re.M)
        for target in LINK.findall(prose):
            if re.match(r"[a-z]+:", target):
                continue  # a web address
            path, _, anchor = target.partition("#")
            file = (page.parent / path).resolve() if path else page
            if not file.exists():
                problems.append(f"{page}: link {target}: no installed file {file}")
            elif anchor and file.suffix == ".md" and anchor not in anchors(file):
                problems.append(f"{page}: link {target}: {file.name} has no #{anchor}")
        for name in set(MENTION.findall(prose)):
            # A name with its folder is named from the README's folder.
            candidates = [page.parent / name, doc_root / name]
            if not any(c.exists() for c in candidates):
                problems.append(f"{page}: names {name}, which is not installed")
    texts = []
    for man in sorted((prefix / "share/man/man1").glob("*.1.gz")):
        texts.append((man, gzip.decompress(man.read_bytes()).decode("utf-8")))
    for meta in sorted((prefix / "share/metainfo").glob("*.xml")):
        texts.append((meta, meta.read_text(encoding="utf-8")))
    for help_file in sys.argv[2:]:
        texts.append((help_file, pathlib.Path(help_file).read_text(encoding="utf-8")))
    if not any(str(name).endswith(".1.gz") for name, _ in texts):
        problems.append(f"{prefix}/share/man/man1: no installed manual page")
    for name, text in texts:
        # roff writes a hyphen of a path as \- and may break words with \&.
        plain = text.replace("\\-", "-").replace("\\&", "").replace("\\e", "\\")
        for path in set(USR_PATH.findall(plain)):
            if not (prefix / path[len("/usr/"):]).exists():
                problems.append(f"{name}: names {path}, which is not installed")
    for p in sorted(problems):
        print(p)
    if problems:
        return 1
    print(f"{len(pages)} installed pages, {len(texts)} manual pages and texts: every reference "
          "leads to an installed file")
    return 0


if __name__ == "__main__":
    sys.exit(main())
