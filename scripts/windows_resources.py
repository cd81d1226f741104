#!/usr/bin/env python3
"""Writes the dialog program's Windows resources from the sources the Qt dialog reads.

resources/dialogs/*.json become DIALOGEX templates, resources/strings.json the string table,
resources/icons/*.svg the icons and bitmaps; all land in OUTPUT_DIR with tavrel.rc, which
cmake/WindowsResources.cmake hands to windres. Anything the templates say that this script does
not know how to say in a .rc (a kind, a style, a key) fails the build instead of being dropped,
so the two faces cannot drift apart.

Usage: windows_resources.py SOURCE_DIR OUTPUT_DIR MANIFEST [--rsvg-convert P] [--icotool P]
"""
import argparse
import json
import os
import re
import struct
import subprocess
import sys
import zlib


class Refused(Exception):
    pass


# What a control of each kind is in a template: its window class and the style it starts from.
KINDS = {
    "radio": ("Button", ["BS_AUTORADIOBUTTON"]),
    "check": ("Button", ["BS_AUTOCHECKBOX"]),
    "pushbutton": ("Button", ["BS_PUSHBUTTON"]),
    "defpushbutton": ("Button", ["BS_DEFPUSHBUTTON"]),
    "combo": ("ComboBox", []),  # the kind of combo box comes with the listed CBS_ styles
    "groupbox": ("Button", ["BS_GROUPBOX"]),
    "ltext": ("Static", ["SS_LEFT"]),
    "bitmap": ("Static", ["SS_BITMAP"]),
    "icon": ("Static", ["SS_ICON"]),
    "progress": ("msctls_progress32", []),
}
# The styles a template may name, each with the kinds it may stand on (None: any control).
CONTROL_STYLES = {
    **{s: None for s in ("WS_GROUP", "WS_TABSTOP", "WS_BORDER", "WS_DISABLED", "WS_VSCROLL",
                         "WS_HSCROLL")},
    **{s: {"radio", "check", "pushbutton", "defpushbutton", "groupbox"}
       for s in ("BS_LEFT", "BS_RIGHT", "BS_CENTER", "BS_TOP", "BS_BOTTOM", "BS_VCENTER",
                 "BS_MULTILINE", "BS_NOTIFY", "BS_FLAT", "BS_LEFTTEXT")},
    **{s: {"combo"} for s in ("CBS_SIMPLE", "CBS_DROPDOWN", "CBS_DROPDOWNLIST", "CBS_AUTOHSCROLL",
                              "CBS_UPPERCASE", "CBS_LOWERCASE", "CBS_DISABLENOSCROLL",
                              "CBS_NOINTEGRALHEIGHT", "CBS_OEMCONVERT", "CBS_SORT",
                              "CBS_HASSTRINGS")},
    **{s: {"ltext", "bitmap", "icon"} for s in ("SS_NOPREFIX", "SS_NOTIFY", "SS_SUNKEN",
                                                "SS_CENTERIMAGE", "SS_REALSIZEIMAGE",
                                                "SS_RIGHTJUST", "SS_ENDELLIPSIS",
                                                "SS_PATHELLIPSIS", "SS_WORDELLIPSIS")},
    **{s: {"progress"} for s in ("PBS_SMOOTH", "PBS_VERTICAL", "PBS_MARQUEE")},
}
DIALOG_STYLES = {"DS_MODALFRAME", "DS_CENTER", "DS_3DLOOK", "DS_SETFOREGROUND", "DS_CONTEXTHELP",
                 "DS_NOIDLEMSG", "WS_POPUP", "WS_CHILD", "WS_VISIBLE", "WS_CAPTION",
                 "WS_SYSMENU", "WS_MINIMIZEBOX", "WS_MAXIMIZEBOX", "WS_THICKFRAME",
                 "WS_CLIPCHILDREN", "WS_CLIPSIBLINGS", "WS_BORDER", "WS_DLGFRAME"}
DIALOG_EX_STYLES = {"WS_EX_APPWINDOW", "WS_EX_CONTROLPARENT", "WS_EX_TOOLWINDOW",
                    "WS_EX_DLGMODALFRAME", "WS_EX_TOPMOST", "WS_EX_CONTEXTHELP",
                    "WS_EX_ACCEPTFILES", "WS_EX_NOPARENTNOTIFY"}
COMBO_TYPES = {"CBS_SIMPLE", "CBS_DROPDOWN", "CBS_DROPDOWNLIST"}
DIALOG_KEYS = {"id", "name", "caption", "size", "styles", "exStyles", "controls"}
CONTROL_KEYS = {"id", "name", "kind", "styles", "text", "rect", "image"}
# Control names Windows defines itself rather than app/resource_ids.h.
WINDOWS_IDS = {"IDOK": 1, "IDCANCEL": 2, "IDABORT": 3, "IDRETRY": 4, "IDIGNORE": 5, "IDYES": 6,
               "IDNO": 7, "IDCLOSE": 8, "IDHELP": 9}

IDR_MAINFRAME = 128
# The application icon: (size, drawing, scale) with pixel-exact scales of the two drawings, as
# make_icons.py does for the desktop's theme.
MAINFRAME_IMAGES = ((16, "idr_mainframe_16.svg", 1), (32, "idr_mainframe_32.svg", 1),
                    (48, "idr_mainframe_16.svg", 3))
# An animation frame at its own 64x16, at 150% and 200% for high DPI, and the square 32x32 a
# default-size load (LoadIcon, an SS_ICON control's first picture) asks for: there the frame
# is halved, smoothly (pixel edges would drop its thin lines), and centred.
ANIMATION_SCALES = (1, 1.5, 2)
SMOOTH_CSS = "svg, rect { shape-rendering: geometricPrecision; }\n"


def load_json(path):
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError) as e:
        raise Refused(f"{path}: {e}")


def header_ids(source_dir, header, seen=None):
    """NAME -> number for every `constexpr int NAME = N;` of a header and the headers it
    includes from the project."""
    seen = set() if seen is None else seen
    if header in seen:
        return {}
    seen.add(header)
    ids = {}
    with open(os.path.join(source_dir, header), encoding="utf-8") as f:
        text = f.read()
    for inc in re.findall(r'^#include "([^"]+)"', text, re.M):
        if os.path.exists(os.path.join(source_dir, inc)):
            ids.update(header_ids(source_dir, inc, seen))
    for name, value in re.findall(r"constexpr\s+int\s+(\w+)\s*=\s*(0[xX][0-9a-fA-F]+|\d+)\s*;",
                                  text):
        ids[name] = int(value, 0)
    return ids


def check_names(dialog, path, ids):
    """A name the code knows must carry the code's number: the JSON is the only source of the
    numbers the .rc gets, resource_ids.h the one the program looks controls up by."""
    known = {**WINDOWS_IDS, **ids}
    pairs = [(dialog["name"], dialog["id"])]
    pairs += [(c["name"], c["id"]) for c in dialog["controls"] if c["name"]]
    for name, number in pairs:
        if name in known and known[name] != number:
            raise Refused(f"{path}: {name} is {number} here but {known[name]} in "
                          "app/resource_ids.h (or Windows' own)")


def check_dialog(dialog, path):
    if not isinstance(dialog, dict) or set(dialog) - DIALOG_KEYS:
        raise Refused(f"{path}: unknown keys {sorted(set(dialog) - DIALOG_KEYS)}")
    for key in DIALOG_KEYS:
        if key not in dialog:
            raise Refused(f"{path}: no {key}")
    for style in dialog["styles"]:
        if style not in DIALOG_STYLES:
            raise Refused(f"{path}: unknown dialog style {style}")
    for style in dialog["exStyles"]:
        if style not in DIALOG_EX_STYLES:
            raise Refused(f"{path}: unknown extended style {style}")
    used = set()
    for n, c in enumerate(dialog["controls"]):
        where = f"{path}: control {n} ({c.get('name') or c.get('text')!r})"
        if set(c) - CONTROL_KEYS:
            raise Refused(f"{where}: unknown keys {sorted(set(c) - CONTROL_KEYS)}")
        for key in ("id", "kind", "styles", "rect"):
            if key not in c:
                raise Refused(f"{where}: no {key}")
        c.setdefault("name", "")
        c.setdefault("text", "")
        if c["kind"] not in KINDS:
            raise Refused(f"{where}: unknown kind {c['kind']!r} (known: {', '.join(KINDS)})")
        for style in c["styles"]:
            if style not in CONTROL_STYLES:
                raise Refused(f"{where}: unknown style {style}")
            if CONTROL_STYLES[style] is not None and c["kind"] not in CONTROL_STYLES[style]:
                raise Refused(f"{where}: style {style} does not go on a {c['kind']}")
        if (c["kind"] in ("bitmap", "icon")) != ("image" in c):
            raise Refused(f"{where}: 'image' goes with the kinds bitmap and icon, and only them")
        if len(c["rect"]) != 4 or not all(isinstance(v, int) for v in c["rect"]):
            raise Refused(f"{where}: rect is not four whole dialog units")
        if c["id"] != -1:
            if c["id"] in used:
                raise Refused(f"{where}: id {c['id']} twice in the dialog")
            used.add(c["id"])


def rc_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '""').replace("\n", "\\n") + '"'


def control_line(c):
    cls, style = KINDS[c["kind"]]
    style = ["WS_CHILD", "WS_VISIBLE"] + style
    if c["kind"] == "combo" and not COMBO_TYPES & set(c["styles"]):
        style.append("CBS_DROPDOWN")
    style += [s for s in c["styles"] if s not in style]
    # A picture control's text is the picture's resource number.
    text = str(c["image"]) if "image" in c else rc_string(c["text"])
    x, y, w, h = c["rect"]
    return (f'    CONTROL {text}, {c["id"]}, {rc_string(cls)}, {" | ".join(style)}, '
            f'{x}, {y}, {w}, {h}')


def dialog_rc(d):
    w, h = d["size"]
    lines = [f'// {d["name"]}', f'{d["id"]} DIALOGEX 0, 0, {w}, {h}',
             "STYLE " + " | ".join(["DS_SETFONT"] + d["styles"])]
    if d["exStyles"]:
        lines.append("EXSTYLE " + " | ".join(d["exStyles"]))
    lines += [f'CAPTION {rc_string(d["caption"])}', 'FONT 8, "MS Sans Serif", 0, 0, 0x1',
              "BEGIN"]
    lines += [control_line(c) for c in d["controls"]]
    return lines + ["END", ""]


class Pictures:
    def __init__(self, icons_dir, out_dir, rsvg, icotool):
        self.icons_dir, self.out_dir, self.rsvg, self.icotool = icons_dir, out_dir, rsvg, icotool
        self.png_dir = os.path.join(out_dir, "png")
        os.makedirs(self.png_dir, exist_ok=True)
        self.css = os.path.join(self.png_dir, "smooth.css")
        with open(self.css, "w") as f:
            f.write(SMOOTH_CSS)

    def svg_size(self, name):
        with open(os.path.join(self.icons_dir, name), encoding="utf-8") as f:
            m = re.search(r'<svg[^>]*\swidth="(\d+)"[^>]*\sheight="(\d+)"', f.read())
        if not m:
            raise Refused(f"resources/icons/{name}: no pixel width and height")
        return int(m.group(1)), int(m.group(2))

    def render(self, name, png, w, h, extra=()):
        out = os.path.join(self.png_dir, png)
        run([self.rsvg, "-w", str(w), "-h", str(h), *extra, "-o", out,
             os.path.join(self.icons_dir, name)])
        return out

    def icon(self, ident, images):
        ico = os.path.join(self.out_dir, f"icon_{ident}.ico")
        run([self.icotool, "-c", "-o", ico, *images])
        return ico

    def mainframe(self):
        pngs = [self.render(name, f"{IDR_MAINFRAME}_{size}.png", size, size)
                for size, name, _ in MAINFRAME_IMAGES]
        for (size, name, scale), png in zip(MAINFRAME_IMAGES, pngs):
            if self.svg_size(name) != (size // scale, size // scale):
                raise Refused(f"resources/icons/{name} is not {size // scale} pixels square")
        return self.icon(IDR_MAINFRAME, pngs)

    def animation(self, ident, name):
        w, h = self.svg_size(name)
        pngs = [self.render(name, f"{ident}_{int(w * s)}x{int(h * s)}.png", int(w * s),
                            int(h * s)) for s in ANIMATION_SCALES]
        half_h = h * 32 // (2 * w) * 2
        pngs.append(self.render(name, f"{ident}_32x32.png", 32, half_h,
                                ["-s", self.css, "--page-width", "32", "--page-height", "32",
                                 "--top", str((32 - half_h) // 2)]))
        return self.icon(ident, pngs)

    def bitmap(self, ident, name):
        w, h = self.svg_size(name)
        png = self.render(name, f"{ident}.png", w, h)
        bmp = os.path.join(self.out_dir, f"bitmap_{ident}.bmp")
        with open(bmp, "wb") as f:
            f.write(bmp_from_png(png))
        return bmp


def run(argv):
    result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise Refused(f"{' '.join(argv)} failed: {result.stdout.strip()}")


def png_pixels(path):
    """Width, height and RGBA rows of an 8-bit RGB or RGBA, non-interlaced PNG (what
    rsvg-convert writes: RGB where every pixel is opaque)."""
    with open(path, "rb") as f:
        data = f.read()
    w, h, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", data[16:29])
    if data[:8] != b"\x89PNG\r\n\x1a\n" or depth != 8 or colour not in (2, 6) or interlace:
        raise Refused(f"{path}: not an 8-bit RGB or RGBA, non-interlaced PNG")
    bpp = 4 if colour == 6 else 3
    idat, pos = b"", 8
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IDAT":
            idat += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw, stride, rows = zlib.decompress(idat), w * bpp, []
    prev = bytearray(stride)
    for y in range(h):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b, c = prev[x], (prev[x - bpp] if x >= bpp else 0)
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        prev = line
        if bpp == 3:
            line = b"".join(line[x:x + 3] + b"\xff" for x in range(0, stride, 3))
        rows.append(bytes(line))
    return w, h, rows


def bmp_from_png(path):
    """A 24-bit BMP: a BITMAP resource has no transparency, so a see-through pixel is refused
    rather than given a colour the dialog's face may not have."""
    w, h, rows = png_pixels(path)
    stride = (w * 3 + 3) & ~3
    body = b""
    for row in reversed(rows):  # bottom-up
        if any(row[x * 4 + 3] != 255 for x in range(w)):
            raise Refused(f"{path}: a bitmap with see-through pixels")
        line = b"".join(bytes((row[x * 4 + 2], row[x * 4 + 1], row[x * 4])) for x in range(w))
        body += line.ljust(stride, b"\0")
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info)) + info + body


def generate(source_dir, out_dir, manifest, rsvg, icotool):
    dialogs_dir = os.path.join(source_dir, "resources", "dialogs")
    icons_dir = os.path.join(source_dir, "resources", "icons")
    ids = header_ids(source_dir, os.path.join("app", "resource_ids.h"))
    dialogs = []
    for name in sorted(os.listdir(dialogs_dir)):
        if name.endswith(".json"):
            path = f"resources/dialogs/{name}"
            d = load_json(os.path.join(dialogs_dir, name))
            check_dialog(d, path)
            check_names(d, path, ids)
            dialogs.append(d)
    dialogs.sort(key=lambda d: d["id"])
    strings = load_json(os.path.join(source_dir, "resources", "strings.json"))

    os.makedirs(out_dir, exist_ok=True)
    pictures = Pictures(icons_dir, out_dir, rsvg, icotool)
    icons = {IDR_MAINFRAME: pictures.mainframe()}
    bitmaps = {}
    for name in sorted(os.listdir(icons_dir)):
        m = re.fullmatch(r"(anim|bmp)_(\d+)\.svg", name)
        if m and m.group(1) == "anim":
            icons[int(m.group(2))] = pictures.animation(int(m.group(2)), name)
        elif m:
            bitmaps[int(m.group(2))] = pictures.bitmap(int(m.group(2)), name)
    for d in dialogs:
        for c in d["controls"]:
            pool = icons if c["kind"] == "icon" else bitmaps if c["kind"] == "bitmap" else None
            if pool is not None and c["image"] not in pool:
                raise Refused(f'{d["name"]}: the {c["kind"]} {c["image"]} has no picture in '
                              "resources/icons")
    if min(icons) != IDR_MAINFRAME:
        raise Refused(f"icon {min(icons)} would be the one Explorer shows, not {IDR_MAINFRAME}")

    rc = ["// Generated by scripts/windows_resources.py from resources/: edit those, not this.",
          "#pragma code_page(65001)", "#include <windows.h>", "#include <commctrl.h>",
          '#include "tavrel-version.h"', "", "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US", "",
          f"CREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST {rc_string(manifest)}", "",
          "// Explorer shows the icon group with the lowest number: the application's."]
    rc += [f"{i} ICON {rc_string(os.path.basename(p))}" for i, p in sorted(icons.items())]
    rc += [f"{i} BITMAP {rc_string(os.path.basename(p))}" for i, p in sorted(bitmaps.items())]
    rc.append("")
    for d in dialogs:
        rc += dialog_rc(d)
    rc += ["STRINGTABLE", "BEGIN"]
    rc += [f"    {int(k)}, {rc_string(v)}" for k, v in sorted(strings.items(), key=lambda kv: int(kv[0]))]
    rc += ["END", "", VERSION_RC]
    # Written last: its time stamp is what the program's build waits for.
    with open(os.path.join(out_dir, "tavrel.rc"), "w", encoding="utf-8") as f:
        f.write("\n".join(rc))


VERSION_RC = """// What the file's Properties (Details) show.
VS_VERSION_INFO VERSIONINFO
FILEVERSION TAVREL_VERSION_NUMBERS
PRODUCTVERSION TAVREL_VERSION_NUMBERS
FILEFLAGSMASK VS_FFI_FILEFLAGSMASK
FILEFLAGS 0
FILEOS VOS_NT_WINDOWS32
FILETYPE VFT_APP
FILESUBTYPE VFT2_UNKNOWN
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    // U.S. English, Unicode.
    BLOCK "040904B0"
    BEGIN
      VALUE "CompanyName", "Tavrel developers"
      VALUE "FileDescription", "Tavrel diskette imaging"
      VALUE "FileVersion", TAVREL_VERSION_TEXT
      VALUE "InternalName", "tavrel"
      VALUE "LegalCopyright", "Copyright (c) 2026 Tavrel developers, MIT License"
      VALUE "OriginalFilename", "tavrel.exe"
      VALUE "ProductName", "Tavrel"
      VALUE "ProductVersion", TAVREL_VERSION_TEXT
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source_dir")
    parser.add_argument("output_dir")
    parser.add_argument("manifest")
    parser.add_argument("--rsvg-convert", default="rsvg-convert")
    parser.add_argument("--icotool", default="icotool")
    args = parser.parse_args()
    try:
        generate(os.path.abspath(args.source_dir), os.path.abspath(args.output_dir),
                 os.path.abspath(args.manifest), args.rsvg_convert, args.icotool)
    except Refused as e:
        print(f"windows_resources.py: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
