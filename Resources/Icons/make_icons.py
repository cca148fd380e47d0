#!/usr/bin/env python3
# Placeholder icons: one plain square per id (replaced by the real drawings).
import struct, sys, os
out = sys.argv[1]
os.makedirs(out, exist_ok=True)
def ico(size, rgba):
    xor = bytes(rgba) * (size * size)
    andmask = b"\0" * (((size + 31) // 32) * 4 * size)
    bmp = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0) + xor + andmask
    return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(bmp), 22) + bmp
for i in [100,104,105,106,110,111,112,120,124,125,126,127,130,131]:
    open(os.path.join(out, "icon%d.ico" % i), "wb").write(ico(32, (200, 120, 40, 255)))
