"""What the documentation tests read in a Markdown page: its fenced blocks, its links and the
anchors GitHub gives its headings."""

import re
import unicodedata

FENCE = re.compile(r"^( {0,3})(`{3,}|~{3,})\s*([^`\s]*)")
ATX_HEADING = re.compile(r"^ {0,3}(#{1,6})(?:\s+(.*?))?(?:\s+#+)?\s*$")
HTML_ANCHOR = re.compile(r"<a\s[^>]*\b(?:name|id)\s*=\s*[\"']([^\"']+)[\"']", re.I)
COMMENT = re.compile(r"^\s*<!--\s*(.*?)\s*-->\s*$")


class Block:
    """A fenced block: its language word, the line of its opening fence (from 1), its lines,
    and the HTML comment right above it, if any."""

    def __init__(self, lang, line, marker):
        self.lang = lang
        self.line = line
        self.lines = []
        self.marker = marker


def split(text):
    """The page's fenced blocks, and its other lines as (line number, text) pairs."""
    blocks, prose = [], []
    block, fence = None, None
    last_comment, last_comment_line = None, 0
    for number, line in enumerate(text.split("\n"), 1):
        if block is not None:
            stripped = line.strip()
            if stripped.startswith(fence) and stripped.strip(fence[0]) == "":
                blocks.append(block)
                block = None
            else:
                block.lines.append(line)
            continue
        opening = FENCE.match(line)
        if opening:
            fence = opening.group(2)
            # Only the comment on the line right above the fence (blank lines between allowed)
            # is the block's marker.
            marker = last_comment if last_comment_line else None
            block = Block(opening.group(3).lower(), number, marker)
            continue
        comment = COMMENT.match(line)
        if comment:
            last_comment, last_comment_line = comment.group(1), number
        elif line.strip():
            last_comment, last_comment_line = None, 0
        prose.append((number, line))
    if block is not None:
        blocks.append(block)
    return blocks, prose


def heading_text(line, next_line):
    """The heading's text if line is an ATX heading or the text line of a setext one."""
    match = ATX_HEADING.match(line)
    if match and match.group(1):
        return match.group(2) or ""
    if line.strip() and not line.startswith("    ") and next_line is not None:
        if re.match(r"^ {0,3}(=+|-+)\s*$", next_line) and not re.match(r"^\s*([-*+]|\d+\.)\s", line):
            return line.strip()
    return None


def rendered(text):
    """Heading text as GitHub renders it to plain text: code spans keep their content, links
    and images their text, emphasis and HTML tags go."""
    text = re.sub(r"!\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = re.sub(r"\[([^\]]*)\]\[[^\]]*\]", r"\1", text)
    text = re.sub(r"<[^>]+>", "", text)
    text = re.sub(r"`+([^`]*)`+", r"\1", text)
    text = re.sub(r"(\*{1,3}|(?<![A-Za-z0-9])_{1,3})(\S(?:.*?\S)?)\1(?![A-Za-z0-9])", r"\2", text)
    return text


def slug(text):
    """GitHub's anchor for a heading: lower case, punctuation but - and _ dropped, each space
    a hyphen."""
    out = []
    for char in rendered(text).strip().lower():
        category = unicodedata.category(char)
        if char in "-_" or category[0] in "LN" or category == "Mn":
            out.append(char)
        elif char == " ":
            out.append("-")
    return "".join(out)


def anchors(text):
    """Every anchor of a page: its headings' slugs (the second of a name gets -1, and so on)
    and the names and ids of its HTML anchors."""
    _, prose = split(text)
    found, seen = set(), {}
    lines = [line for _, line in prose]
    for index, line in enumerate(lines):
        following = lines[index + 1] if index + 1 < len(lines) else None
        heading = heading_text(line, following)
        if heading is None:
            continue
        base = slug(heading)
        count = seen.get(base, 0)
        seen[base] = count + 1
        found.add(base if count == 0 else f"{base}-{count}")
    for _, line in prose:
        found.update(match.group(1) for match in HTML_ANCHOR.finditer(line))
    return found


INLINE_LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^()\s>]*(?:\([^()\s]*\)[^()\s>]*)*)>?(?:\s+[\"'(][^)]*)?\)")
REFERENCE = re.compile(r"^ {0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s+.*)?$")
HTML_LINK = re.compile(r"<(?:a|img)\s[^>]*\b(?:href|src)\s*=\s*[\"']([^\"']+)[\"']", re.I)
CODE_SPAN = re.compile(r"(`+)(?:(?!\1).)+?\1")


def links(text):
    """Every link target of the page's prose, as (line number, target): inline links and
    images, reference definitions, and HTML href and src; code is not prose."""
    _, prose = split(text)
    found = []
    for number, line in prose:
        plain = CODE_SPAN.sub(lambda m: " " * len(m.group(0)), line)
        for pattern in (INLINE_LINK, HTML_LINK):
            found.extend((number, match.group(1)) for match in pattern.finditer(plain))
        reference = REFERENCE.match(plain)
        if reference:
            found.append((number, reference.group(1)))
    return found
