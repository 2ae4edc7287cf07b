#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into tests/fuzz/corpus/<target>/.

Each seed is one case that the target's input layout (described at the top of
each *_fuzz.cpp) should start from. Run it again after changing a layout;
the files it writes are checked in. It replaces the whole folder of each
target it writes: name targets (make_corpus.py pattern) to write only those.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def fields(control, *parts):
    """A control byte, then the parts separated by NUL bytes."""
    return bytes([control]) + b"\0".join(p if isinstance(p, bytes) else p.encode("latin-1") for p in parts)


# ---- itemfile: control, name, filter/value, file bytes ------------------------
# control: bits 0-2 piece size (0: 399, 2: 1, 5: 8), bits 3-5 read size
# (1: 1 byte, 3: 3 bytes), bit 6 a read error at the end.
ITEMFILE = {
    "crlf_items": fields(0, "PORT", "8443", "HOST = a\r\nPORT = 80\r\nX=1\r\n"),
    "lone_cr_lines": fields(0, "PORT", "x", "A = 1\rPORT = 80\rB = 2\r"),
    "line_longer_than_a_piece": fields(0, "NAME", "v", "NAME = " + "a" * 450 + "\r\nNAME=2\r\n"),
    "ctrl_z_and_nul": fields(0, "K", "", b"K = a\x1a\0b\r\nK2=\r\r\n"),
    "one_char_pieces_bytewise_read_error": fields(2 | 1 << 3 | 0x40, "A", "=", "A=1\r\nB = 2\r\n\r\n"),
    "all_names": fields(0, "", "", "\r\n \r= v\n  B=2\nno separator\nC  = x=y\n\tT = 1\n"),
    "tab_is_not_a_space": fields(0, "NAME", "5", "NAME\t= 5\r\nNAME   =5\r\nOLD_NAME = 7\r\n"),
    "crlf_across_reads": fields(5 | 3 << 3, "cd", "XY", "ab\r\ncd\r\r\nef\r"),
    "no_final_newline": fields(0, "NAME", "abc", "NAME = abc"),
    "utf8_mark_first_item": fields(0, "NAME", "v", b"\xef\xbb\xbfNAME = x\r\n\xd0\x9c = \xe5\xba\x97\r\n"),
    "utf8_mark_read_bytewise": fields(1 | 1 << 3, "A", "", b"\xef\xbb\xbf\r\nA=1\r"),
    "half_a_mark": fields(0, "\xef\xbbA", "1", b"\xef\xbbA = 2\r\n"),
}

# ---- keytext: control, name, key file bytes, item file bytes ----------------
# control: bits 0-2 key file read size, bits 3-5 item file read size.
KEY_FILE = ("$MerchantPUK: 1024\r\nAAAA\r\nBBBB\r\nEOF of key\r\n"
            "between\r\n$MerchantPRK\r\nCCCC\r\nEOF\r\n")
KEYTEXT = {
    "both_blocks_replace_old": fields(0, "MERCHANT_PUBLIC_KEY", KEY_FILE,
                                      "MERCHANT_ID = shop-12\r\nMERCHANT_PUBLIC_KEY ={\r\nold\r\n}\r\nX = 1\r\n"),
    "eof_after_a_cut_line": fields(1 | 2 << 3, "KEY", "$MerchantPUK\n" + "K" * 255 + "EOF\n",
                                   "KEY = {\r\nold}\r\nY=2\r\n"),
    "overlong_block": fields(0, "KEY", "$MerchantPRK\n" + ("k" * 254 + "\n") * 9 + "EOF\n$MerchantPUK\nP\nEOF\n",
                             "A = 1"),
    "unclosed_old_block": fields(0, "KEY", KEY_FILE, "KEY = {\r\nX = 1\r\nY = 2"),
    "lone_cr_in_old_block": fields(0, "KEY", KEY_FILE, "KEY = {\r\nold\rZ = 1\r\n}\r\n"),
    "indented_and_tabbed_close": fields(0, "KEY", KEY_FILE, "KEY ={\n\t}\n   }\nX = 1\n"),
    "identifier_only": fields(0, "ACME Store\xe9", "", ""),
}

# ---- formpost: control, path, body, reply bytes ------------------------------
# control: bits 0-2 reply buffer size (0: 500, 2: 2), bits 3-5 send size
# (1: 1 byte, 3: 3), bit 6 the sender stops after as many bytes as the
# reply holds, bit 7 failures report -1 instead of 0.
FORMPOST = {
    "success_reply": fields(0, "/notify", "name=ACME+Store&id=12345",
                            "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nbody\r\n"),
    "short_sends": fields(1 << 3, "/a%d%s", "x=1", "one\ntwo"),
    "sender_stops_in_the_head": fields(0x40 | 0x80 | 3 << 3, "/p", "body", "0123456789" * 10),
    "reply_line_longer_than_buffer": fields(0, "8080", " \t-65535", "x" * 599 + "\n"),
    "two_byte_buffer": fields(2, "127.0.0.1", "99999", "ab\ncd"),
    "every_byte": fields(0, "0" * 30 + "65537", "+ 80", bytes(range(256))),
    "longest_path": fields(0, "p" * 484, "", ""),
    # UTF-8: a path to percent-encode, reply lines that the buffer cuts
    # inside a character, code page 1252 bytes that are no UTF-8.
    "utf8_path_and_cut_reply": fields(0, "/заказ/店舗".encode(), "имя=Магазин".encode(),
                                      b"HTTP/1.0 200 OK\r\n" + "店".encode() * 200 + b"\r\n"),
    "surrogate_pair_cut": fields(0, "/pay/\U0001F4B3".encode(), b"",
                                 b"p" * 497 + "\U0001F4B3".encode() + b"\n"),
    "cp1252_reply_line": fields(0, "/Zürich".encode(), b"", b"Caf\xe9 " + b"l" * 493 + b"\xe9\xe9\n"),
    "reply_ends_inside_a_character": fields(3, b"/", b"", "\U0001F4B3".encode()[:3]),
    "encoded_path_past_the_buffer": fields(0, b"/" + "ж".encode() * 484, b"a=1", b"HTTP/1.0 200 OK\n"),
}

# ---- pattern: control, pattern, process name, window title ------------------
# control: bit 0 first match only, bit 1 the W exports' matcher (the fields
# as WTF-8).
PATTERN = {
    "star_extension": fields(0, "*.EXE", "notepad.exe", "Untitled - Notepad"),
    "class_ranges": fields(0, "[A-M]*", "calc.exe", "[Z-B]"),
    "range_end_starts_next_range": fields(0, "[A--Z]", "m", "Kill switch"),
    "class_left_open": fields(0, "*[A", "xa", "A[B"),
    "many_stars": fields(0, "*A*A*A*A*A*A*A*A*B", "a" * 100, "aaaa"),
    "first_match_only": fields(1, "note*", "notepad.exe", "note"),
    "pattern_too_long": fields(0, "*" * 80, "x", "y"),
    "dash_at_class_edges": fields(0, "[-C][A-]?[]", "ba-x", ""),
    "wide_case_beyond_ascii": fields(2, "МАГАЗИН*".encode(), "магазин店💳.exe".encode(), "Café Ελλάδα".encode()),
    "wide_pair_is_one_character": fields(2, "店?[\U0001F4B0-\U0001F4BF]".encode(), "店💳💳".encode(),
                                         "💳 KILL".encode()),
    "wide_lone_surrogates": fields(3, b"?\xed\xa0\xbd[\xed\xb2\xb3]", b"a\xed\xa0\xbd\xed\xb2\xb3",
                                   b"\xed\xb2\xb3\xed\xa0\xbd"),
    "wide_79_units": fields(2, ("店💳" + "*" * 76).encode(), "店💳".encode(), "x"),
    "wide_80_units": fields(2, ("店💳" + "*" * 77).encode(), "店💳".encode(), "x"),
    "wide_ascii_agrees": fields(2, "[A--Z]*.EXE", "notepad.exe", "~tilde"),
}


# ---- perfdata: control, bytes ---------------------------------------------------
# control: bit 7 a counter-names list; otherwise bits 0-2 pick the record
# limit (0: 255, 3: 2, 6: 16). The block layout is the one tests/process/
# perfblock.h builds: header 96 bytes, object header 64, counter
# definitions of 40, per instance a 24-byte header, its name, and a
# 16-byte counter block.
def perf_block(instances, counters=((6, 4), (784, 8), (1410, 12)), id_index=784, object_types=1,
               signature=b"PERF"):
    b = bytearray(96)
    for i in range(4):
        b[2 * i] = signature[i]
    struct.pack_into("<I", b, 8, 1)
    struct.pack_into("<I", b, 24, 96)
    struct.pack_into("<I", b, 28, object_types)
    if object_types == 0:
        struct.pack_into("<I", b, 20, len(b))
        return bytes(b)
    obj = len(b)
    definition_length = 64 + 40 * len(counters)
    b += bytes(definition_length)
    struct.pack_into("<IIII", b, obj + 4, definition_length, 64, 230, 0)
    struct.pack_into("<I", b, obj + 32, len(counters))
    struct.pack_into("<I", b, obj + 40, len(instances))
    id_offset = 0
    for i, (title, offset) in enumerate(counters):
        d = obj + 64 + 40 * i
        struct.pack_into("<II", b, d, 40, title)
        struct.pack_into("<II", b, d + 32, 4, offset)
        if title == id_index:
            id_offset = offset
    for name, pid in instances:
        start = len(b)
        name_bytes = 2 * (len(name) + 1)
        byte_length = 24 + ((name_bytes + 7) & ~7)
        b += bytes(byte_length + 16)
        struct.pack_into("<I", b, start, byte_length)
        struct.pack_into("<II", b, start + 16, 24, name_bytes)
        b[start + 24:start + 24 + 2 * len(name)] = name.encode("utf-16-le")
        block = start + byte_length
        struct.pack_into("<I", b, block, 16)
        for _, offset in counters:
            struct.pack_into("<I", b, block + offset, 0x55555555)
        if id_offset:
            struct.pack_into("<I", b, block + id_offset, pid)
    struct.pack_into("<I", b, obj, len(b) - obj)
    struct.pack_into("<I", b, 20, len(b))
    return bytes(b)


def counter_list(entries, closed=True):
    return b"".join(i.encode() + b"\0" + n.encode() + b"\0" for i, n in entries) + (b"\0" if closed else b"")


STANDARD = [("1", "1847"), ("2", "System"), ("6", "% Processor Time"), ("230", "Process"),
            ("784", "ID Process"), ("1410", "Creating Process ID")]
THREE = [("Idle", 0), ("notepad", 1234), ("caf\u00e9", 16)]
repeating = bytearray(perf_block([("a", 4)]))
struct.pack_into("<I", repeating, 96 + 64 + 120 + 0, 0)   # the instance's ByteLength
struct.pack_into("<I", repeating, 96 + 40, 1000)            # NumInstances
PERFDATA = {
    "three_instances": bytes([0]) + perf_block(THREE),
    "names_75_and_76": bytes([0]) + perf_block([("a" * 75, 8), ("b" * 76, 12)]),
    "limit_two": bytes([3]) + perf_block([("p%d" % i, 4 * i) for i in range(1, 5)]),
    "no_id_counter": bytes([0]) + perf_block([("a", 4)], counters=((6, 4), (1410, 8)), id_index=9999),
    "no_object_types": bytes([0]) + perf_block([], object_types=0),
    "cut_in_last_instance": bytes([0]) + perf_block(THREE)[:-11],
    "instance_that_does_not_advance": bytes([6]) + bytes(repeating),
    "counter_names": bytes([0x80]) + counter_list(STANDARD),
    "counter_names_odd": bytes([0x80]) + counter_list([("x12", "Process"), ("78a4", "ID Process")], closed=False),
}

# ---- multisz: control (outSize / 2), list ------------------------------------
MULTISZ = {
    "three_pieces": fields(200, "one+two+three"),
    "separator_runs": fields(200, "+a++b+"),
    "twelve_pieces": fields(200, "+".join(str(i) for i in range(1, 13)) + "+"),
    "exact_fit": fields(6, "abcde"),
    "one_byte_over": fields(6, "abcdef"),
    "limit_drops_the_overflow": fields(20, "+".join(str(i) for i in range(1, 11)) + "+" + "x" * 500),
    "empty_list": fields(3, ""),
    "no_room_at_all": fields(0, "a"),
}

# ---- logtext: control (unused), text -----------------------------------------
LOGTEXT = {
    "path_and_quotes": fields(0, 'C:\\wexdemo\\merchant.ini "quoted"'),
    "line_ends_and_tabs": fields(0, "HTTP/1.0 200 OK\r\n\tX: 1\n"),
    "control_bytes": fields(0, b"\x01\x1a\x1f\x7f\xe9\0tail"),
}

# ---- logmask: control (bits 0-2 masked texts, bit 3 the first is a key
# block), patterns, name, masked texts, text ------------------------------------
LOGMASK = {
    "patterns_and_a_password": fields(2, " Db_* ; *_ADDR? ;;LICENSE", "db_host", "hunter2-very-secret", "tok \"9f\"\tx",
                                      "pw=hunter2-very-secret&t=tok+%229f%22%09x say tok \"9f\"\tx"),
    "backtracking_star": fields(1, "*a*b*c", "xxaxxbxxbxxc", "abc", "xabcabcx abc"),
    "utf8_characters": fields(1, "?\u00e9*".encode("utf-8"), "\u00e9\u00e9t\u00e9".encode("utf-8"),
                              "Schl\u00fcssel".encode("utf-8"), "Schl\u00fcssel Schl%c3%bcssel".encode("utf-8")),
    "key_block": fields(8 | 2, "", "MERCHANT_PRIVATE_KEY", "{\nTUlJQkNn\r\nS0NBUUVB==\n}", "abc",
                        "MERCHANT_ID&S0NBUUVB&TUlJQkNn abcabc"),
    "overlapping_texts": fields(3, "?", "K", "abc", "cde", "e", "xabcdex"),
}

# ---- utf: control (bits 0-5 prefix units, bit 6 also as UTF-16), bytes ------
UTF = {
    "cyrillic_japanese_pair": bytes([3]) + "Магазин 店舗 💳".encode("utf-8"),
    "lone_surrogates_wtf8": bytes([2]) + b"a\xed\xa0\xbdb\xed\xb2\xb3",
    "invalid_and_overlong": bytes([5]) + b"Z\xfcrich \xc0\xaf \xe0\x80\xaf \xf4\x90\x80\x80 \xe5\xba",
    "overlong_alone": bytes([1]) + b"\xe0\x80\xaf",
    "utf16_with_lone_surrogate": bytes([64 | 4]) + "a\ud83d\udcb3\udcb3b".encode("utf-16-le", "surrogatepass"),
}

TARGETS = {"itemfile": ITEMFILE, "keytext": KEYTEXT, "formpost": FORMPOST, "pattern": PATTERN,
           "perfdata": PERFDATA, "multisz": MULTISZ, "logtext": LOGTEXT, "logmask": LOGMASK, "utf": UTF}


def main(argv):
    """Rewrites the seed folders of the targets named (all by default)."""
    for name in argv:
        if name not in TARGETS:
            print("make_corpus.py: no target %s (%s)" % (name, " ".join(TARGETS)), file=sys.stderr)
            return 2
    for target, seeds in TARGETS.items():
        if argv and target not in argv:
            continue
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for old in os.listdir(folder):
            os.remove(os.path.join(folder, old))
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
