#!/usr/bin/env python3
"""Compares the probe's dump of a live dialog with its template (resources/dialogs/*.json).

Usage: dialog_dump_check.py TEMPLATE.json DUMP.tsv [VERSION]
Each control of the template must be there with its id, kind, text and place in dialog units
(within 1 unit: the system rounds twice); a picture must show one. A combo box's height is its
dropped list's in the template and the closed box's on the screen, and a picture static takes
its picture's size, so only their other measures count. ID_HELP is there but hidden. VERSION
fills the template's %s. Prints one line a difference, exits 1 when there is one."""
import json
import sys

ID_HELP = 57670
FIELDS = ["id", "kind", "class", "text", "style", "enabled", "visible", "x", "y", "w", "h",
          "image"]


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def read_dump(path):
    rows, dialog = [], None
    with open(path, encoding="utf-8") as f:
        for line in f:
            cols = line.rstrip("\r\n").split("\t")
            if cols[0] == "dialog":
                dialog = cols
            elif not cols[0].startswith("#") and len(cols) == len(FIELDS):
                row = dict(zip(FIELDS, cols))
                row["id"] = int(row["id"])
                row["text"] = unescape(row["text"])
                if row["id"] == 0xFFFF:  # a static's -1 in a template of 16-bit ids
                    row["id"] = -1
                rows.append(row)
    return dialog, rows


def main():
    template = json.load(open(sys.argv[1], encoding="utf-8"))
    dialog, rows = read_dump(sys.argv[2])
    version = sys.argv[3] if len(sys.argv) > 3 else None
    problems = []
    if dialog is None:
        problems.append("no dialog line in the dump")
    elif unescape(dialog[2]) != template["caption"]:
        problems.append(f"caption {dialog[2]!r}, the template's is {template['caption']!r}")
    unused = list(rows)
    for control in template["controls"]:
        text = control["text"]
        if version is not None:
            text = text.replace("%s", version)
        # A static without an id is known by its kind and text (pictures: by their place).
        candidates = [r for r in unused if r["id"] == control["id"] and r["kind"] == control["kind"]
                      and (control["id"] != -1 or r["text"] == text)]
        if control["id"] == -1 and control["kind"] in ("icon", "bitmap"):
            candidates.sort(key=lambda r: abs(int(r["x"]) - control["rect"][0]) +
                            abs(int(r["y"]) - control["rect"][1]))
        name = control["name"] or f"{control['kind']} {text!r}"
        if not candidates:
            problems.append(f"{name} ({control['id']}, {control['kind']}) is missing")
            continue
        row = candidates[0]
        unused.remove(row)
        if row["text"] != text and control["kind"] not in ("combo", "icon", "bitmap"):
            problems.append(f"{name}: text {row['text']!r}, the template's is {text!r}")
        measures = ["x", "y", "w", "h"]
        if control["kind"] in ("icon", "bitmap"):
            measures = ["x", "y"]
        elif control["kind"] == "combo":
            measures = ["x", "y", "w"]
        for m, want in zip(["x", "y", "w", "h"], control["rect"]):
            if m in measures and abs(int(row[m]) - want) > 1:
                problems.append(f"{name}: {m} {row[m]} dialog units, the template's is {want}")
        if control["kind"] in ("icon", "bitmap") and row["image"] != control["kind"]:
            problems.append(f"{name}: shows no picture ({row['image']})")
        want_visible = "0" if control["id"] == ID_HELP else "1"
        if row["visible"] != want_visible:
            problems.append(f"{name}: visible is {row['visible']}, should be {want_visible}")
    for row in unused:
        problems.append(f"a control the template does not have: {row['id']} {row['kind']} "
                        f"{row['text']!r}")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
