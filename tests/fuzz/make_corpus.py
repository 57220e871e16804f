#!/usr/bin/env python3
"""Writes the fuzz target's seed corpus: small valid files covering each event kind,
header variant, chunk-counting rule and what may follow the counted chunks.
Run from this folder: ./make_corpus.py"""
import os
import struct

def chunk(kind, data):
    return kind + struct.pack('>I', len(data)) + data

def smf(tracks, fmt=1, division=96, declared=None, extra=b''):
    count = len(tracks) if declared is None else declared
    head = chunk(b'MThd', struct.pack('>HHH', fmt, count, division) + extra)
    return head + b''.join(t if t[:4] != b'RAW!' else t[4:] for t in tracks)

def trk(data):
    return chunk(b'MTrk', bytes(data))

EOT = [0x00, 0xFF, 0x2F, 0x00]
files = {
    'minimal': smf([trk(EOT)], fmt=0),
    'running_status': smf([trk([0x00, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00, 0x00, 0xC0, 0x05, 0x10, 0x06] + EOT)]),
    'sysex': smf([trk([0x00, 0xF0, 0x03, 0x43, 0x12, 0xF7, 0x00, 0xF7, 0x80, 0x02, 0x01, 0xF7] + EOT)]),
    'meta': smf([trk([0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x58, 0x04, 4, 2, 24, 8,
                      0x00, 0xFF, 0x03, 0x05] + list(b'Piano') + [0x00, 0xFF, 0x80, 0x00] + EOT)]),
    'macbinary': bytes([0] + [0x41] * 73 + [0] + [0x41] * 7 + [0] + [0x41] * 45) + smf([trk(EOT)]),
    'smpte_extra_header': smf([trk(EOT)], division=0xE728, extra=b'\x01\x02'),
    'format2_tracks': smf([trk([0x00, 0xB0, 0x07, 0x64] + EOT), trk([0x00, 0xE0, 0x00, 0x40] + EOT),
                           trk([0x00, 0xD0, 0x30] + EOT)], fmt=2),
    'foreign_chunk': smf([trk(EOT), b'RAW!' + chunk(b'XFIH', b'\x01\x02\x03\x04'), trk(EOT)], declared=3),
    'uncounted_track': smf([trk(EOT), trk([0x00, 0x90, 0x3C, 0x40, 0x00, 0x3C, 0x00] + EOT)], declared=1),
    'xf_chunks_then_padding': smf([trk(EOT), b'RAW!' + chunk(b'XFIH', b'XF02'), b'RAW!' + chunk(b'XFKM', b''),
                                   b'RAW!' + bytes(5)], fmt=0, declared=1),
    'wrapping_deltas': smf([trk([0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0x00] * 16 + [0x20, 0xFF, 0x2F, 0x00])]),
    'nonminimal_delta': smf([trk([0x80, 0x00, 0x90, 0x3C, 0x40, 0x81, 0x80, 0x00, 0x3C, 0x00] + EOT)]),
    'odd_data_byte': smf([trk([0x00, 0x90, 0x3C, 0x40, 0x00, 0x90, 0x85, 0x40] + EOT)]),
    'no_tracks_trailing': smf([], declared=0) + b'trailing bytes',
}
for name, data in files.items():
    with open(os.path.join('corpus', name + '.mid'), 'wb') as f:
        f.write(data)
