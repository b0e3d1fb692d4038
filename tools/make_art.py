#!/usr/bin/python3
"""Draws the setup's artwork and writes it in the forms the resources need.

usage: make_art.py [REPO]

Writes, under REPO (default: this script's repository):
  setup/resources/banner.bmp  welcome banner, 595 x 230, 8 bits per pixel,
                              256-entry palette, uncompressed
  setup/resources/qvn.ico     InstallQvn.exe's own icon: one 32 x 32 8-bit image
  tools/iqvn/iqvn.ico         the product icon carried by iQvn.exe:
                              32 x 32 and 16 x 16, 8-bit

Everything is drawn at several times the final size and scaled down, so
edges and text are smooth before the colours are reduced to a palette.
The fonts come from Debian's fonts-urw-base35 and fonts-dejavu-core.
"""
import math
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

GOTHIC_BOOK = "/usr/share/fonts/opentype/urw-base35/URWGothic-Book.otf"
GOTHIC_DEMI = "/usr/share/fonts/opentype/urw-base35/URWGothic-Demi.otf"
SANS = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

BANNER_W, BANNER_H = 595, 230

# The brand colours: a deep night blue into teal, with a bright cyan accent
# and a warm highlight for the mark's tail.
NIGHT = (9, 22, 48)
INDIGO = (20, 52, 104)
TEAL = (12, 122, 140)
CYAN = (72, 214, 214)
AMBER = (255, 184, 76)
WHITE = (255, 255, 255)
MIST = (190, 214, 230)


def font(path, size):
    if not os.path.exists(path):
        sys.exit(f"make_art.py: font {path} is missing (tools/install-deps.sh installs it)")
    return ImageFont.truetype(path, size)


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def gradient(w, h, stops, angle_x=1.0, angle_y=0.35):
    """A linear gradient across w x h along the direction (angle_x, angle_y)
    through the colour stops [(position 0..1, colour), ...]."""
    # Computed per pixel on a grid an eighth of the size, then scaled up
    # smoothly: a diagonal gradient has no detail a coarse grid would lose.
    gw, gh = max(2, w // 8), max(2, h // 8)
    small = Image.new("RGB", (gw, gh))
    px = small.load()
    norm = angle_x * (gw - 1) + angle_y * (gh - 1)
    for y in range(gh):
        for x in range(gw):
            t = (angle_x * x + angle_y * y) / norm
            for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
                if t <= p1:
                    px[x, y] = lerp(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 0)
                    break
            else:
                px[x, y] = stops[-1][1]
    return small.resize((w, h), Image.BICUBIC)


def overlay(base, layer):
    """Composites an RGBA layer over an RGB image."""
    out = base.convert("RGBA")
    out.alpha_composite(layer)
    return out.convert("RGB")


def draw_mark(draw, cx, cy, r, width, ring=WHITE, tail=AMBER, reach=1.35):
    """The product mark: an open ring (a 'Q' reduced to its essentials) with
    a short warm tail across its lower right."""
    box = (cx - r, cy - r, cx + r, cy + r)
    draw.arc(box, start=62, end=388, fill=ring, width=width)
    # The tail: a rounded bar from inside the ring out through its gap.
    a = math.radians(45)
    x0, y0 = cx + math.cos(a) * r * 0.35, cy + math.sin(a) * r * 0.35
    x1, y1 = cx + math.cos(a) * r * reach, cy + math.sin(a) * r * reach
    draw.line((x0, y0, x1, y1), fill=tail, width=width)
    h = width / 2
    for x, y in ((x0, y0), (x1, y1)):
        draw.ellipse((x - h, y - h, x + h, y + h), fill=tail)
    # Rounded ends of the ring.
    for deg in (62, 28):
        ex = cx + math.cos(math.radians(deg)) * (r - width / 2)
        ey = cy + math.sin(math.radians(deg)) * (r - width / 2)
        draw.ellipse((ex - h, ey - h, ex + h, ey + h), fill=ring)


def spaced(draw, xy, text, fnt, fill, spacing):
    """Draws text with extra space between the letters; returns the end x."""
    x, y = xy
    for ch in text:
        draw.text((x, y), ch, font=fnt, fill=fill)
        x += draw.textlength(ch, font=fnt) + spacing
    return x - spacing


def banner():
    """The welcome picture. Its frame on the page shows about 206 to 227 of
    the 230 rows, centred, depending on the dialog font's size: everything
    that must be seen keeps to rows 40 to 190."""
    s = 3                                   # drawing scale
    w, h = BANNER_W * s, BANNER_H * s
    img = gradient(w, h, [(0.0, NIGHT), (0.45, INDIGO), (1.0, TEAL)])

    # Soft light from the upper right and large translucent rings that run
    # off the right edge.
    glow = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    g = ImageDraw.Draw(glow)
    g.ellipse((int(w * 0.55), -int(h * 0.9), int(w * 1.35), int(h * 0.9)), fill=(120, 230, 240, 60))
    glow = glow.filter(ImageFilter.GaussianBlur(60 * s))
    img = overlay(img, glow)

    rings = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(rings)
    cx, cy = int(w * 0.86), int(h * 0.56)
    for r, a, wd in ((230, 34, 22), (180, 46, 3), (140, 30, 14), (96, 70, 2), (300, 24, 2)):
        rr = r * s
        d.ellipse((cx - rr, cy - rr, cx + rr, cy + rr), outline=(255, 255, 255, a), width=wd * s)
    # A few small dots on the rings, like stations on an orbit.
    for deg, rad, size in ((200, 230, 5), (250, 96, 3), (38, 96, 3)):
        px = cx + math.cos(math.radians(deg)) * rad * s
        py = cy + math.sin(math.radians(deg)) * rad * s
        q = size * s
        d.ellipse((px - q, py - q, px + q, py + q), fill=CYAN + (200,))
    img = overlay(img, rings)

    # A dark band behind the text keeps it readable over the gradient.
    shade = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    ImageDraw.Draw(shade).rectangle((0, 0, int(w * 0.50), h), fill=NIGHT + (70,))
    shade = shade.filter(ImageFilter.GaussianBlur(70 * s))
    img = overlay(img, shade)

    fg = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(fg)
    # The mark, left of the wordmark.
    draw_mark(d, 62 * s, 104 * s, 30 * s, 9 * s)

    # Wordmark and the setup wording.
    left = 112 * s
    spaced(d, (left + 2 * s, 50 * s), "WELCOME TO", font(GOTHIC_DEMI, 12 * s), CYAN, 3.2 * s)
    name_font = font(GOTHIC_DEMI, 50 * s)
    d.text((left - 2 * s, 64 * s), "Quorvane", font=name_font, fill=WHITE)
    setup_x = left - 2 * s + d.textlength("Quorvane", font=name_font) + 12 * s
    d.text((setup_x, 64 * s), "Setup", font=font(GOTHIC_BOOK, 50 * s), fill=CYAN)

    # A thin accent rule, then what the wizard does.
    d.rounded_rectangle((left, 134 * s, left + 56 * s, 137 * s), radius=1.5 * s, fill=AMBER)
    body = font(SANS, 12 * s)
    d.text((left, 149 * s), "This wizard installs Quorvane on your computer.", font=body, fill=MIST)
    d.text((left, 167 * s), "Click Next to continue, or Cancel to exit Setup.", font=body, fill=MIST)
    img = overlay(img, fg)
    return img.resize((BANNER_W, BANNER_H), Image.LANCZOS)


def to_palette(img, colours):
    """Reduces an RGB image to at most `colours` palette entries with
    dithering; returns the paletted image and its palette as RGB tuples."""
    pal = img.quantize(colors=colours, method=Image.Quantize.MEDIANCUT,
                       dither=Image.Dither.FLOYDSTEINBERG)
    flat = pal.getpalette()[: colours * 3]
    entries = [tuple(flat[i:i + 3]) for i in range(0, len(flat), 3)]
    return pal, entries


def dib(width, height, indices, palette, mask_rows=None):
    """A bottom-up 8-bit BITMAPINFOHEADER + 256-entry palette + pixels; with
    mask_rows (1 = transparent) the 1-bit AND mask of an icon image follows
    and the height counts both halves."""
    palette = list(palette) + [(0, 0, 0)] * (256 - len(palette))
    stride = (width + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytes(indices[y * width:(y + 1) * width])
        rows.append(row + b"\0" * (stride - width))
    pixels = b"".join(rows)
    mask = b""
    if mask_rows is not None:
        mstride = ((width + 31) // 32) * 4
        for y in range(height - 1, -1, -1):
            bits = bytearray(mstride)
            for x in range(width):
                if mask_rows[y][x]:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(bits)
    header = struct.pack("<IiiHHIIiiII", 40, width,
                         height * 2 if mask_rows is not None else height,
                         1, 8, 0, len(pixels) + len(mask), 2835, 2835, 256, 0)
    quads = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + quads + pixels + mask


def write_bmp(path, img):
    pal, entries = to_palette(img, 256)
    info = dib(img.width, img.height, list(pal.getdata()), entries)
    offset = 14 + 40 + 256 * 4
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", 14 + len(info), 0, 0, offset))
        f.write(info)


def icon_image(rgba, size):
    """One icon image: the RGBA drawing scaled to size, half-covered edge
    pixels blended over a light window grey and the rest made transparent,
    reduced to 255 colours plus black for the transparent pixels."""
    small = rgba.resize((size, size), Image.LANCZOS)
    alpha = small.getchannel("A")
    backdrop = Image.new("RGBA", small.size, (212, 208, 200, 255))
    flat = Image.alpha_composite(backdrop, small).convert("RGB")
    # Opaque pixels keep their colour; the matte only shows at the edges.
    pal, entries = to_palette(flat, 255)
    black = len(entries)
    entries.append((0, 0, 0))
    idx = list(pal.getdata())
    a = list(alpha.getdata())
    mask = [[0] * size for _ in range(size)]
    for i, v in enumerate(a):
        if v < 100:
            idx[i] = black
            mask[i // size][i % size] = 1
    return dib(size, size, idx, entries, mask)


def write_ico(path, images):
    """An .ico file of 8-bit images [(size, dib bytes), ...]."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 8, len(data), offset)
        blobs += data
        offset += len(data)
    with open(path, "wb") as f:
        f.write(head + entries + blobs)


def rounded_tile(n, top, bottom):
    """An n x n RGBA tile with a vertical gradient inside a rounded square."""
    tile = gradient(n, n, [(0.0, top), (1.0, bottom)], 0.3, 1.0).convert("RGBA")
    shape = Image.new("L", (n, n), 0)
    ImageDraw.Draw(shape).rounded_rectangle((n // 32, n // 32, n - 1 - n // 32, n - 1 - n // 32),
                                            radius=n // 5, fill=255)
    tile.putalpha(shape)
    return tile


def setup_icon():
    """InstallQvn.exe's icon: the mark on a rounded blue tile with a green
    arrow into a tray at the lower right, the usual sign of an installer."""
    n = 256
    img = rounded_tile(n, (36, 96, 170), (10, 30, 70))
    d = ImageDraw.Draw(img)
    draw_mark(d, int(n * 0.36), int(n * 0.36), int(n * 0.21), int(n * 0.08), reach=1.15)
    # The install badge: a white disc with a green downward arrow.
    bx, by, br = int(n * 0.76), int(n * 0.76), int(n * 0.22)
    d.ellipse((bx - br, by - br, bx + br, by + br), fill=(255, 255, 255, 255))
    d.ellipse((bx - br + 10, by - br + 10, bx + br - 10, by + br - 10), fill=(40, 170, 80, 255))
    sw = int(n * 0.07)
    d.rectangle((bx - sw // 2, by - int(br * 0.55), bx + sw // 2, by + int(br * 0.05)), fill=WHITE)
    d.polygon([(bx - int(br * 0.45), by), (bx + int(br * 0.45), by), (bx, by + int(br * 0.52))], fill=WHITE)
    return img


def product_icon():
    """The product icon carried by iQvn.exe: the mark alone on a round teal
    disc, so it is told apart from the setup program's square tile."""
    n = 256
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    disc = gradient(n, n, [(0.0, (30, 170, 180)), (1.0, (10, 48, 96))], 0.5, 1.0).convert("RGBA")
    shape = Image.new("L", (n, n), 0)
    ImageDraw.Draw(shape).ellipse((6, 6, n - 7, n - 7), fill=255)
    img.paste(disc, (0, 0), shape)
    d = ImageDraw.Draw(img)
    draw_mark(d, n // 2 - 6, n // 2 - 6, int(n * 0.27), int(n * 0.095))
    return img


def main():
    repo = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    res = os.path.join(repo, "setup", "resources")
    write_bmp(os.path.join(res, "banner.bmp"), banner())
    write_ico(os.path.join(res, "qvn.ico"), [(32, icon_image(setup_icon(), 32))])
    prod = product_icon()
    write_ico(os.path.join(repo, "tools", "iqvn", "iqvn.ico"),
              [(32, icon_image(prod, 32)), (16, icon_image(prod, 16))])


if __name__ == "__main__":
    main()
