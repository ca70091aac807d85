#!/usr/bin/env python3
"""Times meshcheck on small files built to make a checker work or allocate
much: generates each input once into a folder, runs the given meshcheck on
each, and prints a table of wall time, peak resident size and exit status.

    bench/hostile_inputs.py build/meshcheck/meshcheck [--dir /tmp/hostile] [--only NAME...]
    bench/hostile_inputs.py build/meshcheck/meshcheck --smoke    # tiny inputs, a few seconds

Each run has a time limit (--limit, 120 s by default): past it the run is
stopped and shown as such, and the bench exits with status 1, as it does when
a run dies of a signal. The peak is the child's own (wait4), not the
bench's.
"""

import argparse
import os
import resource
import signal
import struct
import subprocess
import sys
import time
import zlib

MIB = 1 << 20


def md3(surfaces, frames, name=b"hostile"):
    """A model of `frames` frames; each surface (name, verts, triangles) has
    its vertices at three corners of a large triangle, and every triangle the
    same (0, 1, 2) when it has three vertices, else triangle t joins t, t + 1
    and t + 2. Valid in layout; bounds zero, so the repair changes them."""
    header_size, frame_size, surface_size, shader_size = 108, 56, 108, 68
    blobs = []
    for sname, verts, tris in surfaces:
        if verts == 3:
            tri = struct.pack("<3i", 0, 1, 2) * tris
        else:
            tri = b"".join(struct.pack("<3i", t % verts, (t + 1) % verts, (t + 2) % verts)
                           for t in range(tris))
        shader = b"textures/hostile".ljust(64, b"\0") + struct.pack("<i", 0)
        st = struct.pack("<2f", 0, 0) * verts
        corner = [(-4000, -4000, 0), (4000, -4000, 0), (0, 4000, 2000)]
        frame_verts = b"".join(
            struct.pack("<3hH", *corner[v % 3], 0) for v in range(verts))
        ofs_tri = surface_size
        ofs_shader = ofs_tri + len(tri)
        ofs_st = ofs_shader + shader_size
        ofs_xyz = ofs_st + len(st)
        end = ofs_xyz + len(frame_verts) * frames
        head = (b"IDP3" + sname.ljust(64, b"\0") +
                struct.pack("<10i", 0, frames, 1, verts, tris, ofs_tri, ofs_shader, ofs_st,
                            ofs_xyz, end))
        blobs.append([head, tri, shader, st, frame_verts, frames])
    ofs_frames = header_size
    ofs_surfaces = ofs_frames + frame_size * frames
    total = ofs_surfaces + sum(
        108 + len(b[1]) + len(b[2]) + len(b[3]) + len(b[4]) * b[5] for b in blobs)
    out = bytearray()
    out += b"IDP3" + struct.pack("<i", 15) + name.ljust(64, b"\0")
    out += struct.pack("<9i", 0, frames, 0, len(blobs), 0, ofs_frames, ofs_surfaces,
                       ofs_surfaces, total)
    out += (struct.pack("<10f", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0) + b"f".ljust(16, b"\0")) * frames
    for head, tri, shader, st, frame_verts, n in blobs:
        out += head + tri + shader + st
        out += frame_verts * n
    assert len(out) == total
    return bytes(out)


def deflate(data, chunk=16 * MIB):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    parts = [c.compress(data[i:i + chunk]) for i in range(0, len(data), chunk)]
    return b"".join(parts) + c.flush()


def zeros_deflated(size):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    block = bytes(16 * MIB)
    parts, crc, left = [], 0, size
    while left > 0:
        n = min(left, len(block))
        parts.append(c.compress(block[:n]))
        crc = zlib.crc32(block[:n], crc)
        left -= n
    return b"".join(parts) + c.flush(), crc


def zip_bytes(members, shared=None):
    """A zip of (name, data) members, deflated. With `shared` (count, size),
    one zero-filled member of `size` bytes whose data `count` directory
    entries, all named *.md3, point at."""
    out, directory = bytearray(), bytearray()
    entries = []
    for name, data in members:
        packed = deflate(data)
        entries.append((name, len(out), packed, zlib.crc32(data), len(data)))
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, zlib.crc32(data),
                           len(packed), len(data), len(name), 0) + name + packed
    if shared:
        count, size = shared
        packed, crc = zeros_deflated(size)
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, crc, len(packed), size,
                           8, 0) + b"zero.md3" + packed
        for i in range(count):
            entries.append((b"m%04d.md3" % i, offset, packed, crc, size))
    for name, offset, packed, crc, size in entries:
        directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0, crc,
                                 len(packed), size, len(name), 0, 0, 0, 0, 0, offset) + name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(directory),
                      len(out), 0)
    return bytes(out + directory + end)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def small_model():
    return md3([(b"s", 3, 1)], 1)


def cases(root, smoke):
    """(name, what, build, arguments): build() writes the inputs once."""
    k = 1 / 1000 if smoke else 1
    scale = lambda n: max(1, int(n * k))  # noqa: E731
    j = lambda *p: os.path.join(root, *p)  # noqa: E731

    def game_with(folder, members):
        def build():
            write(j(folder, "pak0.pk3"), zip_bytes(members()))
        return build

    def script_tokens():
        return [(b"scripts/q.shader", b'"a" ' * scale(1000000)),
                (b"models/q.md3", small_model())]

    def script_long():
        # One token per script: a script may not be larger than 256 MiB.
        token = b"a" * scale(200 * MIB) + b"\n"
        return [(b"scripts/a.shader", token), (b"scripts/b.shader", token),
                (b"models/q.md3", small_model())]

    def skin():
        line = b"s,textures/missing/none\n"
        return [(b"models/players/x/head.md3", small_model()),
                (b"models/players/x/head_default.skin", line * scale(1000000))]

    def one_stream(count, size):
        def build():
            write(j(f"stream{count}.pk3"), zip_bytes([], shared=(count, size)))
        return build

    def drawn():
        write(j("drawn.md3"), md3([(b"s", 3, scale(300000))], 1))

    def frames():
        write(j("frames.pk3"),
              zip_bytes([(b"f.md3", md3([(b"s", 3, scale(100000))], scale(60000)))]))

    def large():
        # 1000 vertices and 2000 triangles per frame, 8 KB a frame.
        write(j("large.pk3"), zip_bytes([(b"l.md3", md3([(b"s", 1000, 2000)],
                                                       scale(32000)))]))

    def sparse():
        path = j("sparse.md3")
        write(path, md3([(b"s", 3, 1)], 1))
        os.truncate(path, int((1 << 30) * k) + 1000)

    stream = scale(256 * MIB)
    return [
        ("script-tokens", "shader script of 1M quoted tokens", game_with("g1", script_tokens),
         ["--game", j("g1"), "models/q.md3"]),
        ("one-stream-200", "200 entries on one 256 MiB stream", one_stream(200, stream),
         [j("stream200.pk3")]),
        ("drawn", "300k triangles drawn", drawn,
         ["--picture", j("drawn.png"), j("drawn.md3")]),
        ("frames", "60000 frames x 100000 triangles", frames, [j("frames.pk3")]),
        ("one-stream-6", "6 shared entries, --jobs 6", one_stream(6, stream),
         ["--jobs", "6", j("stream6.pk3")]),
        ("large", "250 MiB model in a pk3", large, [j("large.pk3")]),
        ("skin", "1M-line skin", game_with("g2", skin), ["--game", j("g2"), "models/players/x/head.md3"]),
        ("script-long", "two 200 MiB shader tokens", game_with("g3", script_long),
         ["--game", j("g3"), "models/q.md3"]),
        ("sparse", "small model sparse to 1 GiB", sparse, [j("sparse.md3")]),
    ]


def run(meshcheck, arguments, limit, folder):
    start = time.monotonic()
    with open(os.devnull, "wb") as null:
        child = subprocess.Popen([meshcheck] + arguments, stdout=null, stderr=null,
                                 cwd=folder)
        deadline = start + limit
        while True:
            pid, status, usage = os.wait4(child.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() > deadline:
                child.send_signal(signal.SIGKILL)
                pid, status, usage = os.wait4(child.pid, 0)
                return time.monotonic() - start, usage.ru_maxrss / 1024, "stopped"
            time.sleep(0.01)
    code = os.waitstatus_to_exitcode(status)
    return time.monotonic() - start, usage.ru_maxrss / 1024, str(code)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("meshcheck")
    parser.add_argument("--dir", default="/tmp/hostile-inputs")
    parser.add_argument("--only", nargs="*", default=None)
    parser.add_argument("--limit", type=float, default=120)
    parser.add_argument("--smoke", action="store_true", help="inputs a thousand times smaller")
    options = parser.parse_args()
    root = options.dir + ("-smoke" if options.smoke else "")
    os.makedirs(root, exist_ok=True)
    failed = False
    print("| input | time | peak | status |")
    print("|---|---|---|---|")
    for name, what, build, arguments in cases(root, options.smoke):
        if options.only and name not in options.only:
            continue
        stamp = os.path.join(root, name + ".built")
        if not os.path.exists(stamp):
            # In a child: a process's peak never reads below that of the
            # process that started it, so the bench must stay small.
            pid = os.fork()
            if pid == 0:
                build()
                open(stamp, "w").close()
                os._exit(0)
            os.waitpid(pid, 0)
        seconds, peak, status = run(os.path.abspath(options.meshcheck), arguments, options.limit,
                                     root)
        print(f"| {what} | {seconds:.2f} s | {peak:.0f} MiB | {status} |", flush=True)
        # Stopped at the limit, or killed by a signal (a negative code).
        failed |= status == "stopped" or int(status) < 0
    return 1 if failed else 0


if __name__ == "__main__":
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
    sys.exit(main())
