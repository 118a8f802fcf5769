#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a real exchange in the input layout of its target (see the comment
at the top of each fuzz_<name>.cpp): radio replies as the radio sends them,
a host's login dialogue and session as the client receives it, client commands
as a remote operator types them, settings files as the host writes them, and
builder calls as the host makes them. Run it after changing a target's input
layout; the fuzzers add their own inputs to copies of these folders. The other
files in the folders are the reproducers of past findings, kept as seeds.
"""

import pathlib

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE / "corpus"


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    (folder / name).write_bytes(data)


# ---- fuzz_radio_replies: model byte, window byte, then pieces (length byte + bytes) ----

CORVEX, TARSEL = 1, 2  # model selectors: 19, 20


def radio(model, pieces, window=1):
    out = bytearray([model, window])
    for piece in pieces:
        piece = piece.encode("latin-1")
        assert 0 < len(piece) < 256
        out.append(len(piece))
        out += piece
    return bytes(out)


IF_STATUS = "IF" + "00014195000" + " -15" + "-01234" + "012" + "00" + "012345" + "67" + "0" + ";"


def radio_replies():
    t = "fuzz_radio_replies"
    write(t, "id_then_frequencies", radio(TARSEL, ["ID020;", "FA00014195000;FB00007050000;", "IF;"]))
    write(t, "status_reply", radio(TARSEL, [IF_STATUS]))
    write(t, "status_split", radio(CORVEX, [IF_STATUS[:9], IF_STATUS[9:20], IF_STATUS[20:]]))
    write(t, "corvex_menus", radio(CORVEX, ["ID019;EX0240000;EX02400001;", "AR934;AL123;", "FC00007000000;"]))
    write(t, "meters", radio(TARSEL, ["SM00015;SM30015;RM3100;RM5200;", "AG1123;SQ1050;"]))
    write(t, "memory", radio(TARSEL, ["MR1099;", "PK00014195000CALLSIGN1234COMMENT;", "MC299;"]))
    write(t, "pass_through", radio(CORVEX, ["TC 0;", "raw\x00frame\x01bytes;", "\x03;TC 1;", "FA00014195000;"]))
    write(t, "transmit", radio(TARSEL, ["TX1;", "BY10;", "RX0;", "TY0G1;", "XO100014195000;XI00014195000120;"]))
    write(t, "settings", radio(TARSEL, ["AC111;AN2;BC2;CA1;CN42;", "FW2400;GT005;IS-0500;KS020;", "LK21;LM32123;"]))
    write(t, "odd_text", radio(CORVEX, ["FA000141950001;", "SQ/050;RA 1 2;", ";;;", "?;", "GT-042;"]))
    write(t, "unknown_model", radio(0, ["ID015;", "AC111;", "ID020;", "AC111;"]))


# ---- fuzz_client_protocol: pieces, header = length (low six bits) | action << 6 ----

CLOSE, RETRY, FLUSH = 1, 2, 3
GREETING = "\r\n\r\nHello!! This is ORVANE MIREL.\r\n>"


def host(pieces):
    out = bytearray()
    for piece in pieces:
        action = 0
        if isinstance(piece, tuple):
            action, piece = piece
        piece = piece.encode("latin-1")
        while True:
            chunk, piece = piece[:63], piece[63:]
            out.append(len(chunk) | (action << 6))
            out += chunk
            action = 0
            if not piece:
                break
    return bytes(out)


def client_protocol():
    t = "fuzz_client_protocol"
    write(t, "login", host([GREETING, "\r\nUID:OK;\r\n>", "PWD:OK;>@@UE1;", "FA00014195000;"]))
    write(t, "login_then_session", host([GREETING, "\r\nUID:OK;\r\n>", "PWD:OK;>@@UE1;IF;",
                                        "@@AI1;", "FA00014195000;@@ST000001000130;", (FLUSH, "")]))
    write(t, "wrong_password", host([GREETING, "\r\nUID:OK;\r\n>", "\r\nPWD:NG;\r\n>", (RETRY, ""),
                                    "PWD:OK;>@@UE1;"]))
    write(t, "three_wrong", host([GREETING, "\r\nUID:OK;\r\n>", "\r\nPWD:NG;\r\n>", (RETRY, ""),
                                 "\r\nPWD:NG;\r\n>", (RETRY, ""), "\r\nLogin failed. Good-Bye\r\n;", (CLOSE, "")]))
    write(t, "busy", host(["BUSY;", (CLOSE, "")]))
    write(t, "disabled", host([GREETING, "\r\nUID:OK;\r\n>", "\r\nPWD:OK;>@@UE0;", (CLOSE, "")]))
    write(t, "login_timeout", host([GREETING, "\r\nLogin timeout.", (CLOSE, "")]))
    write(t, "refused", host([GREETING, "\r\nCMD:NG;\r\n>", "\r\nUID:NG;\r\n>"]))
    write(t, "idle_timeout", host([GREETING, "\r\nUID:OK;\r\n>", "PWD:OK;>@@UE1;",
                                  "\r\nConnection time out.\r\nGood-Bye\r\n;", (CLOSE, "")]))
    write(t, "split_greeting", host(["\r\n\r\nHel", "lo!! This is ORVANE", " MIREL.\r\n>", "\r\nUID:", "OK;\r\n>"]))


# ---- fuzz_session_commands: switches byte, then pieces, header = length | clock step << 6 ----

MODEL_19, MODEL_20, MODEL_18, MODEL_0 = 0, 1, 2, 3
LOGGED_IN, PASS_THROUGH, LOAD_MESSAGES, AUTO_STATUS = 4, 8, 16, 32


def session(switches, pieces):
    out = bytearray([switches])
    for piece in pieces:
        step = 0
        if isinstance(piece, tuple):
            step, piece = piece
        piece = piece.encode("latin-1")
        assert len(piece) < 64
        out.append(len(piece) | (step << 6))
        out += piece
    return bytes(out)


def session_commands():
    t = "fuzz_session_commands"
    write(t, "login", session(MODEL_20, ["UID:fuzz;", "PWD:pw;", "FA00014195000;", "@@ST;"]))
    write(t, "login_split", session(MODEL_20, ["UI", "D:fu", "zz;PW", "D:pw;FA;I", "F;"]))
    write(t, "wrong_passwords", session(MODEL_19, ["UID:fuzz;", "PWD:no;", "PWD:nein;", "PWD:non;"]))
    write(t, "disabled_user", session(MODEL_20, ["UID:off;PWD:pw;"]))
    write(t, "account_commands", session(MODEL_20 | LOGGED_IN, ["@@AI1;", "@@ai0;", "@@ST;", "@@CPnew;", "@@XX;"]))
    write(t, "filter", session(MODEL_19 | LOGGED_IN, ["SR1;", "LM1;", "MF0;", "EX02400001;", "TC 1;", "fa;"]))
    write(t, "load_messages", session(MODEL_20 | LOGGED_IN | LOAD_MESSAGES, ["LM12;", "EX05500001;", ";;"]))
    write(t, "pass_through", session(MODEL_20 | LOGGED_IN | PASS_THROUGH, ["raw\x00bytes", "\x03;TC 1;"]))
    write(t, "timeouts", session(MODEL_20, ["UID:fuzz;", (3, ""), (1, "PWD:pw;")]))
    write(t, "idle", session(MODEL_20 | LOGGED_IN | AUTO_STATUS, [(2, "IF;"), (3, ""), (3, "FA;")]))
    write(t, "unknown_model", session(MODEL_0 | LOGGED_IN, ["FA00014195000;", "ID;"]))
    write(t, "long_command", session(MODEL_20 | LOGGED_IN, ["X" * 63] * 17))


# ---- fuzz_settings_profile: the settings file, then a NUL and the operations ----

HOST_FILE = """[Setting]
COM Port=1
COM Baud=9600
MIREL IP Port No=50000
MIREL Session Time=0
MIREL Log=1
MIREL Voice=0
MIREL Bind Address=
MIREL Login Backoff=0
MIREL 000 User ID=alice
MIREL 000 Password=s3cret
MIREL 000 User Disabled=0
MIREL 000 Description=Remote operator
MIREL 001 User ID=bob
MIREL 001 Password=hunter2
MIREL 001 User Disabled=1
[File Path]
MIREL Log File Path=/var/log/ondrel
[COM Devices]
COM1=/dev/ttyUSB0
"""

# Operations (see fuzz_settings_profile.cpp): opcode byte, then its operands. Names
# are indexes into the pool: the host's names first (0-7 the service settings of
# "Setting", 8-11 the first user's fields, 12 the log folder, 13 "COM1"), then those
# found in the file.
READ, WRITE_TEXT, WRITE_INT, WRITE_MANY, FILE = 0, 1, 2, 3, 4
PASSWORD, LOG_FOLDER, PORT, SESSION_TIME = 9, 12, 2, 3


def text(value):
    value = value.encode("latin-1")
    return [len(value)] + list(value)


def profile(content, ops=()):
    data = content.encode("latin-1")
    return data + (b"\x00" + bytes(ops) if ops else b"")


def settings_profile():
    t = "fuzz_settings_profile"
    write(t, "host_settings", profile(HOST_FILE))
    write(t, "host_settings_writes", profile(HOST_FILE, [
        READ, PORT, PORT,
        WRITE_TEXT, PASSWORD, PASSWORD, *text("n3w pass"),
        WRITE_INT, SESSION_TIME, SESSION_TIME, 30, 0, 0, 0,
        WRITE_MANY, 1, 8, 8, *text("carol"), PASSWORD, PASSWORD, *text("pw"),
        FILE, LOG_FOLDER, LOG_FOLDER, *text("/srv/log"), 0]))
    write(t, "windows_lines", profile(HOST_FILE.replace("\n", "\r\n"), [
        WRITE_TEXT, PASSWORD, PASSWORD, *text("crlf"), READ, 8, 8]))
    write(t, "corrupt_lines", profile("; comment\n[Setting\nno equals here\n=value without key\n[Setting]\n"
                                      "MIREL IP Port No = 50001 \n  [File Path]  \nCOM Port=x\nCOM Baud=-9600\n"
                                      "\x01\xff\xfe\n[]\n=\n",
                                      [WRITE_INT, PORT, PORT, 7, 0, 0, 0, READ, 0, 0, FILE, 1, 1, *text("9600"), 1]))
    write(t, "duplicates", profile("[Setting]\nCOM Port=1\n[File Path]\n[setting]\ncom port=2\nCOM PORT=3\n",
                                   [READ, 0, 0, WRITE_TEXT, 0, 0, *text("9"), READ, 14, 15]))
    write(t, "no_final_newline", profile("[Setting]\nMIREL Log=1", [WRITE_TEXT, 4, 4, *text("0")]))
    write(t, "empty", profile("", [WRITE_TEXT, 0, 0, *text("42"), WRITE_INT, 3, 3, 1, 0, 0, 0x80]))
    write(t, "awkward_keys", profile("[S]\n a=1\n;b=2\n[c=3]\n", [
        WRITE_TEXT, 14, 14, *text("x]"), WRITE_MANY, 0, 15, 16, *text("y"), FILE, 14, 15, *text(""), 0]))
    write(t, "numbers", profile("[S]\na=2147483647\nb=2147483648\nc=-2147483648\nd= 12 \ne=+5\nf=12abc\ng=-\n",
                                [READ, 14, 14, READ, 15, 15, READ, 16, 16, READ, 17, 17, READ, 18, 18, READ, 19, 19]))


# ---- fuzz_command_filter: switches byte, then operations ----

FILTER_19, FILTER_20, FILTER_OTHER = 0, 1, 2
FILTER_LOAD, FILTER_PASS, FILTER_WINDOW, FILTER_SCANNING = 4, 8, 16, 32
COMMAND, BUILDER = 0, 1


def filter_input(switches, ops):
    out = bytearray([switches])
    for op in ops:
        out += op
    return bytes(out)


def command(text):
    text = text.encode("latin-1")
    return bytes([COMMAND, len(text)]) + text


def builder(row, selector, args):
    """row: index in the command table; selector: "R", "W" or "null" for builders that
    take one, None for those that take none; args: numbers or texts."""
    out = bytearray([BUILDER, row])
    if selector is not None:
        out.append({"null": 0, "R": 1, "W": 2}[selector])
    for arg in args:
        if isinstance(arg, str):
            text = arg.encode("latin-1")
            out += bytes([len(text)]) + text
        else:
            out += bytes([2]) + arg.to_bytes(4, "little")  # tag 2: four bytes follow
    return bytes(out)


def row(name):
    names = ROW_NAMES.split()
    return names.index(name)


ROW_NAMES = """AC AG AI AL AM AN AR AS BC BD BP BU BY CA CG CH CI CM CN CR CT DC DL DN DQ EX FA FB FC FD FR FS FT
FW GT IF IS KS KY LK LM LM2 LT MC MD ME MF MG ML MO MR MU MW NB NL NR NT OF OI OP OS PA PB PC PI PL PM PR PS QC
QI QR RA RC RD RG RL RM RS RT RU RX SA SB SC SD SH SI SL SM SQ SR SS SS2 ST SU SV TC TD TI TN TO TS TX TX2 TY UP UR
UT VD VG VR VV VX XI XO XT"""


def command_filter():
    t = "fuzz_command_filter"
    write(t, "client_commands_20", filter_input(FILTER_20 | FILTER_WINDOW, [
        command("FA00014195000"), command("fa"), command("IF"), command("SR1"), command("LM1"), command("MF0"),
        command("EX05500001"), command("EX0550000"), command("")]))
    write(t, "client_commands_19", filter_input(FILTER_19 | FILTER_WINDOW, [
        command("TC 1"), command("tc -12x"), command("EX02400001"), command("ex0240000"), command("EX02200001"),
        command("TC 99999999999")]))
    write(t, "load_messages", filter_input(FILTER_20 | FILTER_LOAD, [command("LM12"), command("LM"), command("lm3")]))
    write(t, "unknown_model", filter_input(FILTER_OTHER, [command("FA"), builder(row("FA"), "R", ["0"])]))
    write(t, "builders_20", filter_input(FILTER_20, [
        builder(row("FA"), "W", ["14195000"]), builder(row("FA"), "R", [""]), builder(row("AG"), "W", [0, 123]),
        builder(row("EX"), "W", [55, 0, 0, 0, "1"]), builder(row("KY"), "W", ["CQ CQ"]),
        builder(row("MD"), "W", [3]), builder(row("SS2"), "W", [1, 4, "7000000"]), builder(row("XO"), "W", [1, "600000"]),
        builder(row("DL"), "W", [1, 5]), builder(row("TX2"), None, [1]), builder(row("IF"), None, [])]))
    write(t, "builders_19", filter_input(FILTER_19, [
        builder(row("AC"), "W", [1, 1, 2]), builder(row("AR"), "W", [1, 1, 7]), builder(row("MU"), "W", [1] * 10),
        builder(row("SI"), None, [3, "NAME"]), builder(row("IS"), "W", [" ", 500]), builder(row("DN"), None, [0]),
        builder(row("RD"), "W", [150]), builder(row("TC"), "W", [0, 0]), builder(row("OF"), "W", [59950000])]))
    write(t, "scanning", filter_input(FILTER_20 | FILTER_SCANNING, [
        builder(row("RD"), "W", [150]), builder(row("RU"), "W", [0]), builder(row("SC"), "R", [0]),
        builder(row("RD"), "W", [20])]))
    write(t, "pass_through", filter_input(FILTER_19 | FILTER_PASS, [
        builder(row("FA"), "W", ["14195000"]), builder(row("TC"), "W", [0, 1]), builder(row("FA"), "R", [""])]))
    write(t, "refused_arguments", filter_input(FILTER_20, [
        builder(row("AG"), "W", [1, 1000]), builder(row("MD"), "W", [8]), builder(row("FA"), "W", ["100000000000"]),
        builder(row("KY"), "W", ["a;b"]), builder(row("AL"), "W", [1]), builder(row("EX"), "W", [1, 0, 0, 0, "x" * 17])]))


# ---- fuzz_tls_first_bytes: the bytes a client sends to a TLS port, as it sends them ----


def client_hello(minimum, maximum):
    """The first flight of Python's own TLS client (OpenSSL underneath)."""
    import ssl
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    context.minimum_version = minimum
    context.maximum_version = maximum
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    connection = context.wrap_bio(incoming, outgoing, server_hostname="radio.example")
    try:
        connection.do_handshake()
    except ssl.SSLWantReadError:
        pass
    return outgoing.read()


def tls_first_bytes():
    import ssl
    t = "fuzz_tls_first_bytes"
    hello13 = client_hello(ssl.TLSVersion.TLSv1_3, ssl.TLSVersion.TLSv1_3)
    hello12 = client_hello(ssl.TLSVersion.TLSv1_2, ssl.TLSVersion.TLSv1_2)
    write(t, "client_hello_tls13", hello13)
    write(t, "client_hello_tls12", hello12)
    write(t, "client_hello_truncated", hello13[:len(hello13) // 2])
    write(t, "client_hello_then_login", hello12 + b"UID:alice;PWD:Secret-1;FA00007000000;")
    write(t, "plain_login", "UID:alice;PWD:Secret-1;FA00007000000;")
    write(t, "http_request", "GET / HTTP/1.1\r\nHost: radio\r\n\r\n")
    # An SSL 2 style hello, and a record that claims more than it holds.
    write(t, "sslv2_hello", bytes([0x80, 0x2e, 0x01, 0x03, 0x01, 0x00, 0x15, 0x00, 0x00, 0x00, 0x10]) + bytes(37))
    write(t, "record_overlong", bytes([0x16, 0x03, 0x01, 0xff, 0xff, 0x01, 0x00, 0xff, 0xfb]))


def main():
    # Files not written here are the reproducers of findings; they stay.
    radio_replies()
    client_protocol()
    session_commands()
    settings_profile()
    command_filter()
    tls_first_bytes()


if __name__ == "__main__":
    main()


# ---- fuzz_engine_protocol: piece length byte, then the engine's output ----

def netstring(text):
    return f"{len(text.encode())}:{text},"


ENGINE_EVENT = ('{"event":true,"type":"CALL_INCOMING","class":"call","accountaor":"sip:radio@127.0.0.1",'
                '"direction":"incoming","peeruri":"sip:op@127.0.0.1","id":"2a920eb267e9dc43",'
                '"param":"sip:op@127.0.0.1","rtcp_stats":{"tx":{"sent":0},"rtt":0}}')
ENGINE_TRACE = ("\x1b[36;1m#\nUDP 127.0.0.1:5072 -> 127.0.0.1:5060\n"
                "INVITE sip:radio@127.0.0.1:5060 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:5072\r\n"
                "Call-ID: 2a920eb267e9dc43\r\nContent-Length: 0\r\n\r\n\x1b[;m\n")
write("fuzz_engine_protocol", "event", bytes([17]) + netstring(ENGINE_EVENT).encode())
write("fuzz_engine_protocol", "trace", bytes([40]) + ENGINE_TRACE.encode())
