#!/usr/bin/env python3
"""Small helpers of the GUI suite (tests/gui/writer_gui_test.sh).

  gui_helper.py silent-server     listens on 127.0.0.1 (a free port, printed on the first line),
                                  accepts every connection and never answers or closes it
  gui_helper.py pointer [FILE]    the pointer as the X server shows it now (DISPLAY):
                                  "busy|idle <name or -> <width>x<height> <hash of the image>"
                                  (busy: a busy pointer's name, or an image of a cursor theme's
                                  busy pointer), and its image into FILE (PAM) when given
  gui_helper.py utf16 FILE TEXT   exit 0 when FILE holds TEXT as UTF-16LE (Word 97's text)
  gui_helper.py screen-ready START [LOG TEXT]
                                  screenshots of the display every 0.1 s until the screen has
                                  something on it, LOG (GB18030) holds TEXT, and nothing changed
                                  for 3 s (at most 90 s); prints the seconds from START (an epoch
                                  time) to the first screenshot from which the screen stays as it
                                  ends, and to the first painted one: "ready <s> painted <s>"
"""
import ctypes
import glob
import hashlib
import os
import socket
import struct
import subprocess
import sys
import time


def silent_server():
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print(listener.getsockname()[1], flush=True)
    held = []
    while True:
        connection, _ = listener.accept()
        held.append(connection)  # kept open, never read from or written to


class CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


BUSY_NAMES = ("watch", "left_ptr_watch", "wait", "progress", "half-busy", "clock")


def busy_frames(size):
    """Hashes of every image of the cursor themes' busy pointers at `size` pixels (an animated
    cursor's frames carry no name on the server)."""
    hashes = set()
    for top in ("/usr/share/icons", os.path.expanduser("~/.icons")):
        for path in glob.glob(os.path.join(top, "*", "cursors", "*")):
            if os.path.basename(path) not in BUSY_NAMES or not os.path.isfile(path):
                continue
            with open(path, "rb") as f:
                data = f.read()
            if data[:4] != b"Xcur":
                continue
            for i in range(struct.unpack_from("<I", data, 12)[0]):
                kind, _, pos = struct.unpack_from("<III", data, 16 + 12 * i)
                if kind != 0xFFFD0002:  # an image
                    continue
                header, _, _, _, width, height = struct.unpack_from("<6I", data, pos)
                if width == size:
                    start = pos + header
                    hashes.add(hashlib.sha1(data[start:start + 4 * width * height])
                               .hexdigest()[:12])
    return hashes


def pointer(save=None):
    xlib = ctypes.CDLL("libX11.so.6")
    xfixes = ctypes.CDLL("libXfixes.so.3")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(None)
    if not display:
        sys.exit("gui_helper.py: cannot open the display")
    image = xfixes.XFixesGetCursorImage(display).contents
    pixels = b"".join((image.pixels[i] & 0xFFFFFFFF).to_bytes(4, "little")
                      for i in range(image.width * image.height))
    name = (image.name or b"").decode(errors="replace") or "-"
    digest = hashlib.sha1(pixels).hexdigest()[:12]
    busy = name in BUSY_NAMES or digest in busy_frames(image.width)
    print(f"{'busy' if busy else 'idle'} {name} {image.width}x{image.height} {digest}")
    if save:  # the image as a PAM file (ImageMagick converts it), to look at
        rgba = b"".join(bytes((p[2], p[1], p[0], p[3])) for p in
                        (pixels[i:i + 4] for i in range(0, len(pixels), 4)))
        with open(save, "wb") as f:
            f.write(f"P7\nWIDTH {image.width}\nHEIGHT {image.height}\nDEPTH 4\nMAXVAL 255\n"
                    f"TUPLTYPE RGB_ALPHA\nENDHDR\n".encode() + rgba)


WIDTH, HEIGHT = 1600, 1000   # the display gui_lib.sh starts
TOLERANCE = 40               # pixels of the half-size screenshot: the text caret's blink


def screenshot():
    """The screen in grey, every second pixel of every second row."""
    raw = subprocess.run(["import", "-window", "root", "-depth", "8", "gray:-"],
                         stdout=subprocess.PIPE, check=True).stdout
    return b"".join(raw[row * WIDTH:(row + 1) * WIDTH:2] for row in range(0, HEIGHT, 2))


def differ(a, b, limit=TOLERANCE):
    """Whether more than `limit` pixels of two screenshots differ."""
    width, count = WIDTH // 2, 0
    for start in range(0, len(a), width):
        ra, rb = a[start:start + width], b[start:start + width]
        if ra != rb:
            count += sum(1 for x, y in zip(ra, rb) if x != y)
            if count > limit:
                return True
    return False


def logged(path, text):
    try:
        with open(path, "rb") as f:
            return text in f.read().decode("gb18030", errors="replace")
    except OSError:
        return False


def screen_ready(start, log=None, text=None):
    frames, blank, last_change = [], None, None
    deadline = time.time() + 90
    while time.time() < deadline:
        begun = time.time()
        frame = screenshot()
        at = begun - start
        if blank is None:
            blank = frame
        if frames and differ(frames[-1][1], frame):
            last_change = at
        frames.append((at, frame))
        painted = differ(blank, frame)
        if (painted and last_change is not None and at - last_change >= 3
                and (log is None or logged(log, text))):
            break
        time.sleep(max(0.0, 0.1 - (time.time() - begun)))
    else:
        sys.exit("gui_helper.py: the screen did not settle within 90 s")
    final = frames[-1][1]
    ready = frames[-1][0]
    for at, frame in reversed(frames):
        if differ(frame, final):
            break
        ready = at
    first = next(at for at, frame in frames if differ(blank, frame))
    print(f"ready {ready:.3f} painted {first:.3f}")


def utf16(path, text):
    with open(path, "rb") as f:
        sys.exit(0 if text.encode("utf-16-le") in f.read() else 1)


if __name__ == "__main__":
    if sys.argv[1:2] == ["silent-server"]:
        silent_server()
    elif sys.argv[1:2] == ["pointer"] and len(sys.argv) <= 3:
        pointer(*sys.argv[2:])
    elif sys.argv[1:2] == ["screen-ready"] and len(sys.argv) in (3, 5):
        screen_ready(float(sys.argv[2]), *sys.argv[3:])
    elif sys.argv[1:2] == ["utf16"] and len(sys.argv) == 4:
        utf16(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
