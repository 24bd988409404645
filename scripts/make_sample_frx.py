#!/usr/bin/env python3
"""Writes the binary property files of the sample project in examples/inventory.

Each grid record is a 16-bit header length, a 32-bit payload length, header
padding, then a payload that holds some of the Vireo 4.0 grid's GUIDs among
other bytes (one of them at an odd offset).
"""
import struct
import sys
import uuid
from pathlib import Path

FAMILY = "-1A2C-11CF-8E41-00805F2C6A19"
VIREO40 = {
    "CLSID_MsPlover": "7D4E5B33", "LIBID_MsPlover": "7D4E5B34", "IID_DPlColumns": "7D4E5B39",
    "IID_DVrSplits": "7D4E5B3B", "IID_DVrStyle": "7D4E5B43", "CLSID_VireoDrop": "7D4E5BE3",
}


def guid(name):
    return uuid.UUID(VIREO40[name] + FAMILY).bytes_le


def record(payload, header_length=8):
    header = struct.pack("<hi", header_length, len(payload))
    return header + b"\0" * (header_length - 6) + payload


def pad_to(data, size):
    assert len(data) <= size, (len(data), size)
    return data + b"\0" * (size - len(data))


def main(folder):
    main_frx = pad_to(record(b"\x01" + guid("CLSID_MsPlover") + guid("LIBID_MsPlover") +
                             b"VR" + guid("IID_DVrSplits") + b"\x02\x03\x04"), 0x40)
    main_frx += record(guid("CLSID_MsPlover") + b"cols" + guid("IID_DPlColumns") +
                       b"\x05" + guid("IID_DVrStyle"))
    lookup_frx = pad_to(record(b"dd" + guid("CLSID_VireoDrop") + guid("LIBID_MsPlover")), 0x30)
    lookup_frx += record(b"\x07" + guid("CLSID_MsPlover") + b"\x00" * 5)
    Path(folder, "Main.frx").write_bytes(main_frx)
    Path(folder, "Lookup.frx").write_bytes(lookup_frx)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "examples/inventory")
