"""tools/release.sh: the production program signed with certificates from the test CA, accepted by
osslsigncode verify and still running under Wine; left unsigned, and saying so, without them. And the
program file itself: its version block and its header's security flags."""

import http.server
import os
import struct
import threading

from conftest import ROOT, key, run, wait_painted

TOOL = os.path.join(ROOT, "tools", "release.sh")


def issue(ca, folder, name, usage):
    """A key and a certificate for the extended key USAGE, signed by the test CA in the folder CA."""
    at = f"{folder}/{name}"
    with open(at + ".ext", "w") as f:
        f.write(f"keyUsage = critical, digitalSignature\nextendedKeyUsage = {usage}\n")
    for args in (["req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", at + ".key",
                  "-subj", f"/CN=Halvoren {name}", "-out", at + ".csr"],
                 ["x509", "-req", "-in", at + ".csr", "-CA", f"{ca}/ca.crt", "-CAkey", f"{ca}/ca.key",
                  "-days", "2", "-extfile", at + ".ext", "-out", at + ".crt"]):
        r = run(["openssl", *args])
        assert r.returncode == 0, r.stderr
    return at + ".crt", at + ".key"


class Timestamps(http.server.BaseHTTPRequestHandler):
    """An RFC 3161 timestamp server: openssl ts answers each query with the tsa certificate."""

    def do_POST(self):
        at = str(self.server.folder)
        with open(at + "/query.tsq", "wb") as f:
            f.write(self.rfile.read(int(self.headers["Content-Length"])))
        run(["openssl", "ts", "-reply", "-config", at + "/tsa.cnf", "-section", "tsa", "-queryfile", at + "/query.tsq",
             "-signer", at + "/tsa.crt", "-inkey", at + "/tsa.key", "-out", at + "/reply.tsr"])
        with open(at + "/reply.tsr", "rb") as f:
            reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


def test_signed_with_pkcs12_and_timestamp_or_pem_and_unsigned_without(launch, tmp_path):
    ca = os.environ["HALVOREN_CERTS"]
    trust = os.path.join(ca, "ca.crt")
    cert, private = issue(ca, tmp_path, "code", "codeSigning")
    issue(ca, tmp_path, "tsa", "critical, timeStamping")
    (tmp_path / "tsa.cnf").write_text(f"[tsa]\nserial = {tmp_path}/serial\ndefault_policy = 1.2.3.4\n"
                                      "signer_digest = sha256\ndigests = sha256\n")
    (tmp_path / "password").write_text("segredo\n")
    r = run(["openssl", "pkcs12", "-export", "-in", cert, "-inkey", private, "-passout", f"file:{tmp_path}/password",
             "-out", f"{tmp_path}/code.p12"])
    assert r.returncode == 0, r.stderr

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Timestamps)
    server.folder = tmp_path
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        made = {"p12": run([TOOL, "--pkcs12", str(tmp_path / "code.p12"), "--password-file", str(tmp_path / "password"),
                            "--timestamp", f"http://127.0.0.1:{server.server_port}/", "--ca", trust,
                            "--out", str(tmp_path / "p12")], timeout=600)}
    finally:
        server.shutdown()
    made["pem"] = run([TOOL, "--cert", cert, "--key", private, "--ca", trust, "--out", str(tmp_path / "pem")], timeout=600)
    made["unsigned"] = run([TOOL, "--out", str(tmp_path / "unsigned")], timeout=600)
    for name, r in made.items():
        assert r.returncode == 0, f"{name}: {r.stdout}{r.stderr}"
    assert "UNSIGNED" in made["unsigned"].stdout and "UNSIGNED" not in made["pem"].stdout

    def verify(name):
        return run(["osslsigncode", "verify", "-CAfile", trust, "-TSA-CAfile", trust,
                    "-in", str(tmp_path / name / "suporte.exe")])
    checked = verify("p12")
    assert checked.returncode == 0, checked.stdout + checked.stderr
    assert "Timestamp Server Signature verification: ok" in checked.stdout
    assert verify("pem").returncode == 0
    unsigned = (tmp_path / "unsigned" / "suporte.exe").read_bytes()
    assert unsigned == open(os.path.join(ROOT, "build", "release", "suporte.exe"), "rb").read()
    assert verify("unsigned").returncode != 0

    # The signature is appended to the file; Windows must still load the program.
    program = launch(str(tmp_path / "p12" / "suporte.exe"))
    window = program.window()
    assert window, "the signed program's window did not appear"
    assert wait_painted(window)
    key("alt+F4")
    assert program.wait() == 0


def pe_parts(data):
    """The optional header's DLL characteristics, a reader of bytes at a relative virtual address, the
    image base, and each data directory as (address, size)."""
    at = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[at:at + 4] == b"PE\0\0"
    sections, optional_size = struct.unpack_from("<H12xH", data, at + 6)
    optional = at + 24
    assert struct.unpack_from("<H", data, optional)[0] == 0x20B, "not a 64-bit program"
    flags = struct.unpack_from("<H", data, optional + 70)[0]
    base = struct.unpack_from("<Q", data, optional + 24)[0]
    table = []
    for i in range(sections):
        s = optional + optional_size + 40 * i
        size, address, _, raw = struct.unpack_from("<IIII", data, s + 8)
        table.append((address, size, raw))

    def at_rva(rva):
        for address, size, raw in table:
            if address <= rva < address + size:
                return raw + rva - address
        raise AssertionError(f"RVA {rva:#x} in no section")
    directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i) for i in range(16)]
    return flags, at_rva, base, directories


def check_load_configuration(data):
    """The imports are the six DLLs, none of them delayed, and the load configuration makes the two
    that are not KnownDLLs come from System32 and names the stack guard, holding the loader's default
    cookie value, as the security cookie."""
    _, at_rva, base, directories = pe_parts(data)
    imports, at = [], at_rva(directories[1][0])
    while struct.unpack_from("<I", data, at + 12)[0]:
        name = at_rva(struct.unpack_from("<I", data, at + 12)[0])
        imports.append(data[name:data.index(b"\0", name)].decode().upper())
        at += 20
    assert sorted(imports) == ["GDI32.DLL", "KERNEL32.DLL", "SHELL32.DLL", "USER32.DLL", "WINHTTP.DLL",
                               "WINMM.DLL"]
    assert directories[13] == (0, 0), "delayed imports"
    rva, size = directories[10]
    assert rva, "no load configuration"
    config = at_rva(rva)
    # Its size, given twice, covers the fields up to the security cookie.
    assert struct.unpack_from("<I", data, config)[0] == size == 96
    # DependentLoadFlags: LOAD_LIBRARY_SEARCH_SYSTEM32.
    assert struct.unpack_from("<H", data, config + 78)[0] == 0x800
    cookie = struct.unpack_from("<Q", data, config + 88)[0]
    assert struct.unpack_from("<Q", data, at_rva(cookie - base))[0] == 0x2B992DDFA232


def resource(data, at_rva, base, path):
    """The bytes of the resource at the directory path (type, name, language), or None."""
    offset = at_rva(base)
    for want in path:
        named, ids = struct.unpack_from("<HH", data, offset + 12)
        for i in range(named + ids):
            key, target = struct.unpack_from("<II", data, offset + 16 + 8 * i)
            if key == want:
                break
        else:
            return None
        if target & 0x80000000:
            offset = at_rva(base) + (target & 0x7FFFFFFF)
        else:
            rva, size = struct.unpack_from("<II", data, at_rva(base) + target)
            return data[at_rva(rva):at_rva(rva) + size]
    return None


def version_block(blob, at=0):
    """One node of a version resource: (key, value, children), walked as Windows lays them out."""
    length, value_length, kind = struct.unpack_from("<HHH", blob, at)
    end = blob.index(b"\0\0", at + 6)
    while (end - at - 6) % 2:
        end = blob.index(b"\0\0", end + 1)
    key = blob[at + 6:end].decode("utf-16-le")
    value_at = (end + 2 + 3) & ~3
    value_bytes = value_length * (2 if kind == 1 else 1)
    value = blob[value_at:value_at + value_bytes]
    if kind == 1:
        value = value.decode("utf-16-le").rstrip("\0")
    children, child = [], (value_at + value_bytes + 3) & ~3
    while child < at + length:
        children.append(version_block(blob, child))
        child = (child + struct.unpack_from("<H", blob, child)[0] + 3) & ~3
    return key, value, children


def test_the_program_file_names_itself_and_keeps_its_security_flags(fake):
    data = open(os.path.join(os.environ["HALVOREN_BUILD"], "suporte.exe"), "rb").read()
    flags, at_rva, _, directories = pe_parts(data)
    resources = directories[2][0]
    # High-entropy ASLR, relocatable, DEP, and aware of terminal servers.
    for bit, name in ((0x20, "high entropy"), (0x40, "dynamic base"), (0x100, "DEP"),
                      (0x8000, "terminal server aware")):
        assert flags & bit, name
    check_load_configuration(data)
    # RT_VERSION 16, id 1, Portuguese (Brazil).
    blob = resource(data, at_rva, resources, (16, 1, 0x0416))
    assert blob, "no version resource in Portuguese (Brazil)"
    key, fixed, children = version_block(blob)
    assert key == "VS_VERSION_INFO"
    signature, _, ms, ls, pms, pls = struct.unpack_from("<IIIIII", fixed)
    assert signature == 0xFEEF04BD
    assert (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF) == (30, 0, 0, 0) and (pms, pls) == (ms, ls)
    nodes = {k: (v, c) for k, v, c in children}
    tables = nodes["StringFileInfo"][1]
    assert [k for k, _, _ in tables] == ["041604B0"]
    strings = {k: v for k, v, _ in tables[0][2]}
    assert strings["ProductName"] == "Halvoren Zivavoz"
    assert strings["CompanyName"] == "Halvoren"
    assert strings["FileDescription"] and strings["FileVersion"] == "30.0.0.0"
    assert strings["OriginalFilename"] == "suporte.exe"
    translation = nodes["VarFileInfo"][1][0]
    assert translation[0] == "Translation" and struct.unpack("<HH", translation[1]) == (0x0416, 1200)
