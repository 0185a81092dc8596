"""tools/release.sh: the production program signed with certificates from the test CA, accepted by
osslsigncode verify and still running under Wine; left unsigned, and saying so, without them."""

import http.server
import os
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
