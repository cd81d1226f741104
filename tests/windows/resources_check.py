#!/usr/bin/env python3
"""Checks a compiled dialog template against its JSON source.

  resources_check.py template DIALOG.json TEMPLATE.bin   (a DLGTEMPLATEEX from wrestool -x)

Prints one line per difference and exits 1 if there is any.
"""
import json
import struct
import sys

# Windows' values of the styles the templates use (winuser.h, commctrl.h).
STYLES = {
    "WS_POPUP": 0x80000000, "WS_CHILD": 0x40000000, "WS_VISIBLE": 0x10000000,
    "WS_DISABLED": 0x08000000, "WS_CAPTION": 0x00C00000, "WS_BORDER": 0x00800000,
    "WS_VSCROLL": 0x00200000, "WS_HSCROLL": 0x00100000, "WS_SYSMENU": 0x00080000,
    "WS_GROUP": 0x00020000, "WS_TABSTOP": 0x00010000, "WS_MINIMIZEBOX": 0x00020000,
    "DS_MODALFRAME": 0x80, "DS_SETFONT": 0x40, "WS_EX_APPWINDOW": 0x00040000,
    "CBS_DROPDOWN": 0x2, "CBS_UPPERCASE": 0x2000, "SS_NOPREFIX": 0x80,
}
# Kind: (class ordinal or name, the style's low bits that say the kind).
KINDS = {"radio": (0x80, 0x9), "check": (0x80, 0x3), "pushbutton": (0x80, 0x0),
         "defpushbutton": (0x80, 0x1), "groupbox": (0x80, 0x7), "combo": (0x85, None),
         "ltext": (0x82, 0x0), "bitmap": (0x82, 0xE), "icon": (0x82, 0x3),
         "progress": ("msctls_progress32", None)}
CLASS_NAMES = {0x80: "Button", 0x82: "Static", 0x85: "ComboBox"}

problems = []


def expect(cond, what):
    if not cond:
        problems.append(what)


def bits(names):
    value = 0
    for n in names:
        value |= STYLES[n]
    return value


class Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.pos
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        s = self.data[self.pos:end].decode("utf-16-le")
        self.pos = end + 2
        return s

    def sz_or_ord(self):
        first = self.take("H")
        if first == 0xFFFF:
            return self.take("H")
        self.pos -= 2
        return self.text()


def check_template(dialog, data):
    r = Reader(data)
    version, signature, _, ex, style, count, _, _, cx, cy = r.take("HHIIIHhhhh")
    name = dialog["name"]
    expect((version, signature) == (1, 0xFFFF), f"{name}: not a DIALOGEX")
    expect(style & bits(dialog["styles"] + ["DS_SETFONT"]) == bits(dialog["styles"] + ["DS_SETFONT"]),
           f"{name}: style 0x{style:08x} lacks some of {dialog['styles']}")
    expect(ex == bits(dialog["exStyles"]), f"{name}: extended style 0x{ex:08x}")
    expect((cx, cy) == tuple(dialog["size"]), f"{name}: size {cx}x{cy}")
    r.sz_or_ord(), r.sz_or_ord()  # menu, class
    expect(r.text() == dialog["caption"], f"{name}: caption")
    points, _, _, _ = r.take("HHBB")
    expect((points, r.text()) == (8, "MS Sans Serif"), f"{name}: font")
    expect(count == len(dialog["controls"]), f"{name}: {count} controls")
    for c in dialog["controls"]:
        r.pos = (r.pos + 3) & ~3
        _, ex, style, x, y, w, h, ident = r.take("IIIhhhhi")
        cls, title = r.sz_or_ord(), r.sz_or_ord()
        extra = r.take("H")
        r.pos += extra
        what = f"{name} {c['name'] or c['text'] or c['kind']}"
        want_cls, kind_bits = KINDS[c["kind"]]
        want = bits(c["styles"] + ["WS_CHILD", "WS_VISIBLE"])
        expect(ident == c["id"] and (x, y, w, h) == tuple(c["rect"]), f"{what}: id or rect")
        # windres names the system's classes ("BUTTON") where rc gives their numbers.
        expect(cls == want_cls or str(cls).lower() == CLASS_NAMES.get(want_cls, want_cls).lower(),
               f"{what}: class {cls!r}")
        expect(style & want == want, f"{what}: style 0x{style:08x} lacks some of {c['styles']}")
        expect(kind_bits is None or style & 0xF == kind_bits, f"{what}: not a {c['kind']}")
        expect(title == c.get("image", c["text"]), f"{what}: text {title!r}")
        expect(c["kind"] != "combo" or not style & 0x100, f"{what}: sorted")  # CBS_SORT


def main():
    mode, json_path, other = sys.argv[1:4]
    with open(json_path, encoding="utf-8") as f:
        dialog = json.load(f)
    if mode != "template":
        sys.exit(f"unknown mode {mode}")
    with open(other, "rb") as f:
        check_template(dialog, f.read())
    for p in problems:
        print(f"FAIL: {p}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
