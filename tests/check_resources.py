#!/usr/bin/python3
"""Static checks of the shipped i686 setup program's resources.

usage: check_resources.py InstallQvn.exe iQvn.exe

Parses the four page templates (DLGTEMPLATEEX) control by control and
compares them with the page layouts; checks the welcome banner's format and
that it is a picture, the program icon group, and that iQvn.exe is a plain
PE32 GUI program of Windows' own DLLs that carries an icon for the pages.
"""
import struct
import sys

import pefile

from check_hardening import resources as all_resources
from check_pe import common
from tally import check, report

RT_ICON, RT_BITMAP, RT_DIALOG, RT_RCDATA, RT_GROUP_ICON = 3, 2, 5, 10, 14

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_SYSMENU = 0x00C00000, 0x00800000, 0x00080000
WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x00040000, 0x00020000, 0x00010000
WS_VSCROLL, WS_TABSTOP = 0x00200000, 0x00010000
DS_SETFONT, DS_CENTER = 0x40, 0x800
WS_EX_TOPMOST, WS_EX_TOOLWINDOW, WS_EX_CLIENTEDGE = 0x8, 0x80, 0x200
BS_PUSHBUTTON, BS_DEFPUSHBUTTON = 0x0, 0x1
SS_LEFT, SS_BITMAP, SS_CENTERIMAGE = 0x0, 0xE, 0x200
ES_MULTILINE, ES_AUTOVSCROLL, ES_READONLY = 0x4, 0x40, 0x800

# The predefined control classes a template may name by atom.
CLASS_ATOMS = {0x80: "button", 0x81: "edit", 0x82: "static", 0x83: "listbox",
               0x84: "scrollbar", 0x85: "combobox"}

PAGE = DS_SETFONT | DS_CENTER | WS_POPUP | WS_VISIBLE | WS_CAPTION
CHILD = WS_CHILD | WS_VISIBLE
BUTTON = CHILD | BS_PUSHBUTTON | WS_TABSTOP
TEXT = CHILD | SS_LEFT
LEFT, RIGHT = (312, 143, 40, 15), (355, 143, 40, 15)

# Page id: caption, extended style, font weight, and the controls in
# template order: (id, class, style, extended style, x y w h, text).
# A text that is an int is a resource ordinal (the picture's bitmap).
PAGES = {
    1000: ("Quorvane Setup", WS_EX_TOOLWINDOW, 400, [
        (1001, "static", CHILD | SS_BITMAP | SS_CENTERIMAGE | WS_BORDER, 0, (0, 0, 398, 140), 200),
        (1002, "button", BUTTON, 0, LEFT, "Next"),
        (1003, "button", BUTTON, 0, RIGHT, "Cancel"),
    ]),
    2000: ("Quorvane License Agreement", WS_EX_TOOLWINDOW | WS_EX_TOPMOST, 700, [
        (2001, "static", TEXT, 0, (3, 4, 393, 10),
         "Please, read the following License Agreement. Clicking [Yes] means that "
         "you agree to the terms of this agreement."),
        (2002, "button", BUTTON, 0, LEFT, "Yes"),
        (2003, "button", BUTTON, 0, RIGHT, "No"),
        (2004, "edit", CHILD | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
         WS_EX_CLIENTEDGE, (3, 20, 393, 120), ""),
    ]),
    3000: ("Installation Information", WS_EX_TOOLWINDOW, 400, [
        (3001, "button", BUTTON, 0, LEFT, "Install"),
        (3002, "button", BUTTON, 0, RIGHT, "Cancel"),
        (3003, "static", TEXT, 0, (22, 4, 374, 122), ""),
        (3004, "msctls_progress32", CHILD, 0, (22, 131, 374, 10), ""),
    ]),
    4000: ("Installation Successful", WS_EX_TOOLWINDOW, 400, [
        (4001, "button", BUTTON, 0, RIGHT, "Finish"),
        (4002, "static", TEXT, 0, (22, 4, 374, 135), ""),
    ]),
}

def equal(got, want, what):
    fmt = (lambda v: f"{v:#x}") if isinstance(want, int) and not isinstance(want, bool) else repr
    check(got == want, f"{what}: got {fmt(got)}, want {fmt(want)}")


def resources(pe, rtype):
    """{name id: data} of one resource type (first language of each)."""
    found = {}
    for name, _lang, data in all_resources(pe, rtype):
        found.setdefault(name, data)
    return found


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
        first = struct.unpack_from("<H", self.data, self.pos)[0]
        if first == 0xFFFF:
            self.pos += 2
            return self.take("H")
        return self.text()

    def align(self, n):
        self.pos = (self.pos + n - 1) & ~(n - 1)


def parse_dialog(data):
    """A DLGTEMPLATEEX as a dict; its items as a list of dicts."""
    r = Reader(data)
    d = {}
    d["ver"], d["sig"], _, d["exstyle"], d["style"], count = r.take("HHIIIH")
    d["rect"] = r.take("hhhh")
    d["menu"], d["class"], d["title"] = r.sz_or_ord(), r.sz_or_ord(), r.text()
    if d["style"] & DS_SETFONT:
        d["points"], d["weight"], d["italic"], d["charset"] = r.take("HHBB")
        d["face"] = r.text()
    d["items"] = []
    for _ in range(count):
        r.align(4)
        it = {}
        _, it["exstyle"], it["style"] = r.take("III")
        it["rect"] = r.take("hhhh")
        it["id"] = r.take("I")
        cls = r.sz_or_ord()
        it["class"] = CLASS_ATOMS.get(cls, f"atom {cls:#x}") if isinstance(cls, int) else cls.lower()
        it["text"] = r.sz_or_ord()
        extra = r.take("H")
        r.pos += extra
        d["items"].append(it)
    check(r.pos <= len(data), "template parsed within its resource")
    return d


def check_page(page_id, data):
    caption, exstyle, weight, controls = PAGES[page_id]
    d = parse_dialog(data)
    p = f"page {page_id}"
    equal((d["ver"], d["sig"]), (1, 0xFFFF), f"{p}: an extended template")
    equal(d["style"], PAGE, f"{p}: style")
    check(not d["style"] & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME),
          f"{p}: no system menu, close, minimise or maximise box, no sizing frame")
    equal(d["exstyle"], exstyle, f"{p}: extended style")
    equal(d["rect"], (0, 0, 398, 160), f"{p}: position and size")
    equal((d["menu"], d["class"]), ("", ""), f"{p}: no menu, the standard dialog class")
    equal(d["title"], caption, f"{p}: caption")
    equal((d.get("face"), d.get("points"), d.get("weight"), d.get("italic"), d.get("charset")),
          ("MS Sans Serif", 8, weight, 0, 1), f"{p}: font")
    equal([c["id"] for c in d["items"]], [c[0] for c in controls], f"{p}: control ids in template order")
    for got, (cid, cls, style, exs, rect, text) in zip(d["items"], controls):
        c = f"{p} control {cid}"
        equal(got["class"], cls, f"{c}: class")
        equal(got["style"], style, f"{c}: style")
        equal(got["exstyle"], exs, f"{c}: extended style")
        equal(got["rect"], rect, f"{c}: position and size")
        equal(got["text"], text, f"{c}: text")
        if cls == "button":
            check(got["style"] & 0xF != BS_DEFPUSHBUTTON, f"{c}: not a default button")


def check_bitmap(data):
    if not check_len(data, 40, "bitmap 200"):
        return
    size, w, h, planes, bits, comp, _, _, _, used, _ = struct.unpack_from("<IiiHHIIiiII", data)
    equal(size, 40, "bitmap 200: BITMAPINFOHEADER")
    equal((w, abs(h), planes, bits), (595, 230, 1, 8), "bitmap 200: 595 x 230, 8 bits per pixel")
    equal(comp, 0, "bitmap 200: uncompressed (BI_RGB)")
    check(used in (0, 256), f"bitmap 200: 256-entry palette (biClrUsed {used})")
    stride = (w + 3) & ~3
    pixels = data[40 + 256 * 4:]
    if not check_len(pixels, stride * abs(h), "bitmap 200 pixels"):
        return
    # A picture, not a blank or a flat fill: many palette entries in use,
    # and the palette itself spread over dark and light colours.
    used_idx = {pixels[y * stride + x] for y in range(abs(h)) for x in range(w)}
    check(len(used_idx) >= 64, f"bitmap 200: a picture ({len(used_idx)} colours in use)")
    pal = [struct.unpack_from("<BBBB", data, 40 + 4 * i) for i in sorted(used_idx)]
    lum = [(b * 114 + g * 587 + r * 299) // 1000 for b, g, r, _ in pal]
    check(min(lum) < 80 and max(lum) > 200, "bitmap 200: dark and light colours (readable text)")


def check_len(data, n, what):
    return check(len(data) >= n, f"{what}: at least {n} bytes (got {len(data)})")


def check_icons(pe, label, group_id=None, want=None):
    """An icon group (by id, or the first one) and the icon images it names;
    want lists (width, height, bits per pixel, image id), or None for 'at
    least one image'."""
    groups = resources(pe, RT_GROUP_ICON)
    if group_id is None and groups:
        group_id = min(groups)
    check(group_id in groups, f"{label}: icon group {group_id}")
    if group_id not in groups:
        return
    data = groups[group_id]
    images = resources(pe, RT_ICON)
    reserved, rtype, count = struct.unpack_from("<HHH", data)
    equal((reserved, rtype), (0, 1), f"{label}: icon group header")
    entries = [struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i) for i in range(count)]
    got = []
    for w, h, colours, _, planes, bits, nbytes, image_id in entries:
        img = images.get(image_id, b"")
        check(len(img) == nbytes, f"{label}: icon image {image_id} present, {nbytes} bytes")
        if len(img) >= 40:
            _, bw, bh, _, bbits = struct.unpack_from("<IiiHH", img)
            equal((bw, bh // 2, bbits), (w or 256, h or 256, bits), f"{label}: icon image {image_id} header")
        got.append((w or 256, h or 256, bits, image_id))
    if want is None:
        check(count >= 1, f"{label}: at least one icon image")
    else:
        equal(got, want, f"{label}: icon images (size, bits, id)")


def main():
    exe = pefile.PE(sys.argv[1])
    dialogs = resources(exe, RT_DIALOG)
    equal(sorted(dialogs), sorted(PAGES), "InstallQvn.exe: the page templates")
    for page_id in PAGES:
        if page_id in dialogs:
            check_page(page_id, dialogs[page_id])
    bitmaps = resources(exe, RT_BITMAP)
    check(200 in bitmaps, "InstallQvn.exe: bitmap 200")
    if 200 in bitmaps:
        check_bitmap(bitmaps[200])
    check_icons(exe, "InstallQvn.exe", 100, [(32, 32, 8, 1)])
    # The medium's list as built: its magic, no entry, room for 16 (the
    # medium tool fills it in on a medium's copy).
    listed = resources(exe, RT_RCDATA).get(300, b"")
    equal((listed[:8], len(listed), listed[8:].count(0)), (b"QVNLIST1", 1040, 1032), "InstallQvn.exe: the empty list")

    carrier = pefile.PE(sys.argv[2])
    common(carrier, "iQvn.exe")
    check(carrier.OPTIONAL_HEADER.Subsystem == 2, "iQvn.exe: GUI subsystem")
    check_icons(carrier, "iQvn.exe")

    return report()


if __name__ == "__main__":
    sys.exit(main())
