#!/usr/bin/env python3
"""A HID device that is not ours (vendor 1234, product 5678), created through
/dev/uhid: the virtual machine test checks that our udev rule leaves its
hidraw node alone. Lives until killed."""
import os
import struct
import sys

UHID_DESTROY = 1
UHID_CREATE2 = 11
BUS_USB = 3
# One vendor collection with an 8-byte input report.
DESCRIPTOR = bytes([0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00,
                    0x75, 0x08, 0x95, 0x08, 0x09, 0x01, 0x81, 0x02, 0xC0])

fd = os.open("/dev/uhid", os.O_RDWR | os.O_CLOEXEC)
create = struct.pack("<I128s64s64sHHIIII", UHID_CREATE2, b"Foreign Test Device",
                     b"usb-foreign/input0", b"", len(DESCRIPTOR), BUS_USB, 0x1234, 0x5678, 1, 0)
os.write(fd, create + DESCRIPTOR)
print("foreign device created", flush=True)
try:
    while True:
        os.read(fd, 4380)  # START, OPEN, ...: nothing to answer
except (KeyboardInterrupt, OSError):
    pass
finally:
    os.write(fd, struct.pack("<I", UHID_DESTROY))
    sys.exit(0)
