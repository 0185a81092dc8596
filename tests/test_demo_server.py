"""The demo support server driven over real HTTPS, the way the client talks to it, with the
technician console's JSON API on the other side. Answers are read with the client's own rules:
the first occurrence of a quoted key, spaces and colons skipped, quoted state names anywhere.
"""

import http.client
import json
import os
import re
import ssl
import subprocess
import time
import urllib.parse

import pytest

from conftest import PYTHON, ROOT

SERVER = os.path.join(ROOT, "server", "demo_server.py")
ACCOUNT = "/suporte/avulso/api/conta"
FRAME = bytes(range(256)) * 1800
DEMO = ("demo@zivavoz.com.br", "demo1234")
STAMP = re.compile(r'^"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d')


def client_int(body, key):
    """How the client reads a number: first quoted key, spaces and colons, then digits."""
    at = body.find(b'"' + key.encode() + b'"')
    if at < 0:
        return 0
    rest = body[at + len(key) + 2:].lstrip(b" :")
    digits = re.match(rb"\d{0,9}", rest).group()
    return int(digits) if digits else 0


def client_stamp(body, key):
    at = body.find(b'"' + key.encode() + b'"')
    return at >= 0 and bool(STAMP.match(body[at + len(key) + 2:].lstrip(b" :").decode()))


def has_state(body, state):
    return b'"' + state.encode() + b'"' in body


class Demo:
    def __init__(self, certs, tmp, *extra):
        portfile = os.path.join(tmp, "ports.json")
        self.log = open(os.path.join(tmp, "demo.log"), "w+")
        self.process = subprocess.Popen(
            [PYTHON, SERVER, "--cert", os.path.join(certs, "server.crt"), "--key", os.path.join(certs, "server.key"),
             "--api-port", "0", "--console-port", "0", "--portfile", portfile, *extra],
            stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while not os.path.exists(portfile):
            assert self.process.poll() is None and time.monotonic() < deadline, "demo server did not start"
            time.sleep(0.05)
        with open(portfile) as f:
            ports = json.load(f)
        self.api, self.console_port = ports["api"], ports["console"]
        self.tls = ssl.create_default_context(cafile=os.path.join(certs, "ca.crt"))

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.log.close()

    def customer(self):
        return Customer(self)

    def console(self, method, path, body=None, headers=None):
        c = http.client.HTTPConnection("127.0.0.1", self.console_port, timeout=10)
        try:
            h = {"Content-Type": "application/json"} if method == "POST" else {}
            h.update(headers or {})
            if method == "POST" and body is None:
                body = {}
            c.request(method, path, body=None if body is None else json.dumps(body).encode(), headers=h)
            r = c.getresponse()
            data = r.read()
            self.content_type = r.getheader("Content-Type", "")
            if self.content_type.startswith("application/json"):
                data = json.loads(data)
            return r.status, data
        finally:
            c.close()

    def state(self):
        return self.console("GET", "/api/estado")[1]


class Customer:
    def __init__(self, demo):
        self.demo = demo
        self.token = ""

    def call(self, method, path, body=None, content_type=None, headers=None):
        c = http.client.HTTPSConnection("localhost", self.demo.api, context=self.demo.tls, timeout=10)
        try:
            h = dict(headers or {})
            if self.token:
                h["Authorization"] = "Bearer " + self.token
            if content_type:
                h["Content-Type"] = content_type
            c.request(method, path, body=body, headers=h)
            r = c.getresponse()
            return r.status, r.read()
        finally:
            c.close()

    def json(self, path, obj):
        return self.call("POST", path, json.dumps(obj, ensure_ascii=False).encode(), "application/json")

    def form(self, path, **fields):
        fields.setdefault("csrf", self.token)
        body = urllib.parse.urlencode(fields, quote_via=urllib.parse.quote).encode()
        return self.call("POST", path, body, "application/x-www-form-urlencoded")

    def login(self, email, password):
        status, body = self.json(ACCOUNT + "/login", {"email": email, "senha": password})
        assert status == 200, body
        self.token = json.loads(body)["token"]
        return self

    def queue(self):
        status, body = self.call("GET", ACCOUNT + "/atendimento", content_type="application/json")
        assert status == 200
        return body

    def remote(self, ticket, suffix=""):
        return "/suporte/api/remoto/cliente?formato=texto&chamado=%d%s" % (ticket, suffix)

    def frame(self, ticket, request_id, frame=FRAME, csrf=None):
        return self.call("POST", self.remote(ticket, "&fluxo=1&pedido=" + request_id), frame,
                         headers={"Content-Type": "application/octet-stream",
                                  "X-CSRF-Token": self.token if csrf is None else csrf})


@pytest.fixture
def demo(certs, tmp_path):
    d = Demo(certs, str(tmp_path))
    yield d
    d.stop()


def new_account(demo, email, password="segredo123"):
    c = demo.customer()
    status, body = c.json(ACCOUNT + "/cadastro", {"email": email, "senha": password, "confirmacao": password})
    assert status == 202
    challenge = json.loads(body)["desafio"]
    code = next(m["codigo"] for m in demo.state()["emails"] if m["para"] == email)
    assert c.json(ACCOUNT + "/cadastro/confirmar", {"desafio": challenge, "codigo": code})[0] == 200
    return c.login(email, password)


def buy(demo, customer, credits):
    status, body = customer.json(ACCOUNT + "/pagamentos", {"creditos": credits})
    assert status == 201
    payment = json.loads(body)["pagamento"]
    assert demo.console("POST", "/api/pagamentos/%s/confirmar" % payment)[0] == 200


def in_service(demo, customer, description="Sem internet"):
    status, body = customer.json(ACCOUNT + "/atendimento", {"descricao": description})
    assert status == 201
    ticket = client_int(body, "id")
    assert demo.console("POST", "/api/chamados/%d/assumir" % ticket, {"tecnico": "Marina Souza"})[0] == 200
    return ticket


def test_whole_attendance(demo):
    c = new_account(demo, "ana@exemplo.com.br")
    assert client_int(c.queue(), "saldo") == 0 and not has_state(c.queue(), "AGUARDANDO")
    assert len(c.token) <= 63

    status, body = c.call("POST", ACCOUNT + "/pagamentos", b'{"creditos":3}', "application/json")
    assert status == 201
    link = re.search(rb'"link"[ :]*"([^"]*)"', body).group(1).decode()
    assert link.startswith("https://sandbox.asaas.com/checkoutSession/show")
    assert client_int(c.queue(), "saldo") == 0, "credits arrive only once the payment is confirmed"
    payment = demo.state()["pagamentos"][0]
    assert (payment["estado"], payment["creditos"]) == ("PENDENTE", 3)
    assert demo.console("POST", "/api/pagamentos/%s/confirmar" % payment["id"])[0] == 200
    assert client_int(c.queue(), "saldo") == 3

    status, body = c.json(ACCOUNT + "/atendimento", {"descricao": 'Impressora "travada"\r\nde novo'})
    assert status == 201 and has_state(body, "AGUARDANDO")
    ticket = client_int(body, "id")
    q = c.queue()
    assert client_int(q, "id") == ticket and has_state(q, "AGUARDANDO") and not has_state(q, "EM_ATENDIMENTO")
    assert client_int(q, "posicao") == 1 and client_int(q, "saldo") == 2 and client_stamp(q, "criado_em")
    assert demo.state()["fila"][0]["descricao"] == 'Impressora "travada"\r\nde novo'

    assert demo.console("POST", "/api/chamados/%d/assumir" % ticket, {"tecnico": "Marina Souza"})[0] == 200
    q = c.queue()
    assert has_state(q, "EM_ATENDIMENTO") and not has_state(q, "AGUARDANDO") and client_stamp(q, "chamado_em")

    assert demo.console("POST", "/api/chamados/%d/mensagens" % ticket, {"texto": "Olá! Vou ajudar."})[0] == 201
    assert c.form("/suporte/api/chat/cliente", chamado=str(ticket), mensagem="Oi, obrigada & até já")[0] == 201
    assert c.form("/suporte/api/chat/cliente", chamado=str(ticket), mensagem="linha 1\r\nlinha 2")[0] == 201
    status, body = c.call("GET", "/suporte/api/chat/cliente?formato=texto")
    assert status == 200
    assert body.decode() == ("HALVOREN-CHAT/1 %d\nTécnico: Olá! Vou ajudar.\nCliente: Oi, obrigada & até já\n"
                             "Cliente: linha 1\nlinha 2\n" % ticket)
    assert [m["autor"] for m in demo.console("GET", "/api/chamados/%d" % ticket)[1]["mensagens"]] == \
        ["tecnico", "cliente", "cliente"]

    status, body = c.call("GET", c.remote(ticket))
    assert (status, body.decode()) == (200, "HALVOREN-REMOTE/1 NENHUM -\nMarina Souza")
    request_id = demo.console("POST", "/api/chamados/%d/remoto" % ticket)[1]["pedido"]
    assert 0 < len(request_id) <= 39 and " " not in request_id
    assert c.call("GET", c.remote(ticket))[1].decode() == "HALVOREN-REMOTE/1 PENDENTE %s\nMarina Souza" % request_id
    assert c.frame(ticket, request_id)[0] == 409, "no frames before consent"
    assert c.form(c.remote(ticket), chamado=str(ticket), acao="aceitar", pedido=request_id)[0] == 200
    assert c.call("GET", c.remote(ticket))[1].startswith(b"HALVOREN-REMOTE/1 ACEITO %s\n" % request_id.encode())

    assert c.frame(ticket, request_id) == (200, b"")
    status, frame = demo.console("GET", "/api/chamados/%d/quadro?depois=0" % ticket)
    assert status == 200 and frame == FRAME
    assert demo.console("GET", "/api/chamados/%d/quadro?depois=1" % ticket)[0] == 204
    commands = [{"verbo": "clicar", "x": 319, "y": 179}, {"verbo": "direito", "x": 0, "y": 0},
                {"verbo": "mover", "x": 160, "y": 90}, {"verbo": "texto", "texto": "é😀"},
                {"verbo": "tecla", "codigo": 13}]
    assert demo.console("POST", "/api/chamados/%d/comandos" % ticket, {"comandos": commands}) == \
        (202, {"enfileirados": 7})
    assert c.frame(ticket, request_id) == (200, b"clicar 319 179\ndireito 0 0\nmover 160 90\n"
                                                b"texto 233 0\ntexto 55357 0\ntexto 56832 0\ntecla 13 0\n")
    assert c.frame(ticket, request_id) == (200, b""), "commands are handed over once"
    assert demo.console("GET", "/api/chamados/%d" % ticket)[1]["remoto"]["quadro"] == 3

    assert demo.console("POST", "/api/chamados/%d/encerrar-remoto" % ticket)[0] == 200
    assert c.frame(ticket, request_id)[0] == 409
    assert c.call("GET", c.remote(ticket))[1].startswith(b"HALVOREN-REMOTE/1 ENCERRADO ")

    assert c.form("/suporte/api/finalizar/cliente", chamado=str(ticket))[0] == 200
    q = c.queue()
    assert client_int(q, "id") == ticket and has_state(q, "CONCLUIDO")
    assert not has_state(q, "EM_ATENDIMENTO") and client_int(q, "saldo") == 2
    assert c.call("GET", "/suporte/api/chat/cliente?formato=texto")[0] == 409
    assert demo.state()["encerrados"][0]["estado"] == "CONCLUIDO"


def test_queue_positions_are_shared_and_cancelling_refunds(demo):
    customers = [demo.customer().login(*DEMO)]
    for name in ("bia", "caio", "duda"):
        customers.append(new_account(demo, name + "@exemplo.com.br"))
        buy(demo, customers[-1], 1)
    tickets = []
    for c in customers:
        status, body = c.json(ACCOUNT + "/atendimento", {"descricao": ""})
        assert status == 201
        tickets.append(client_int(body, "id"))
    assert [client_int(c.queue(), "posicao") for c in customers] == [1, 2, 3, 4]
    assert [client_int(c.queue(), "id") for c in customers] == tickets

    assert customers[1].json(ACCOUNT + "/atendimento/cancelar", {"id": tickets[1]})[0] == 200
    q = customers[1].queue()
    assert has_state(q, "CANCELADO") and client_int(q, "saldo") == 1 and client_int(q, "id") == tickets[1]
    assert demo.console("POST", "/api/chamados/%d/assumir" % tickets[0], {})[0] == 200
    assert client_int(customers[2].queue(), "posicao") == 1 and client_int(customers[3].queue(), "posicao") == 2
    assert [t["id"] for t in demo.state()["fila"]] == tickets[2:]
    assert demo.console("POST", "/api/chamados/%d/cancelar" % tickets[3])[0] == 200
    assert has_state(customers[3].queue(), "CANCELADO")
    # A taken ticket cannot be cancelled, and only one ticket at a time is open per account.
    assert customers[0].json(ACCOUNT + "/atendimento/cancelar", {"id": tickets[0]})[0] == 409
    assert customers[0].json(ACCOUNT + "/atendimento", {"descricao": "outro"})[0] == 409
    assert demo.console("GET", "/api/chamados/%d" % tickets[0])[1]["tecnico"] == "Técnico Zivavoz"


def test_remote_consent_refusal_and_customer_disconnect(demo):
    c = demo.customer().login(*DEMO)
    ticket = in_service(demo, c)
    first = demo.console("POST", "/api/chamados/%d/remoto" % ticket)[1]["pedido"]
    assert demo.console("POST", "/api/chamados/%d/remoto" % ticket)[0] == 409
    assert c.form(c.remote(ticket), chamado=str(ticket), acao="aceitar", pedido="outro")[0] == 409
    assert c.form(c.remote(ticket), chamado=str(ticket), acao="recusar", pedido=first)[0] == 200
    assert c.call("GET", c.remote(ticket))[1].startswith(b"HALVOREN-REMOTE/1 RECUSADO ")
    assert c.form(c.remote(ticket), chamado=str(ticket), acao="aceitar", pedido=first)[0] == 409
    assert demo.console("POST", "/api/chamados/%d/comandos" % ticket, {"comandos": []})[0] == 409

    second = demo.console("POST", "/api/chamados/%d/remoto" % ticket)[1]["pedido"]
    assert second != first
    assert c.form(c.remote(ticket), chamado=str(ticket), acao="aceitar", pedido=second)[0] == 200
    assert c.frame(ticket, first)[0] == 409, "frames of an old request are refused"
    assert c.frame(ticket, second, csrf="errado")[0] == 403
    assert c.frame(ticket, second, frame=FRAME[:-2])[0] == 400
    assert c.frame(ticket, second)[0] == 200
    assert c.form(c.remote(ticket), chamado=str(ticket), acao="desconectar", pedido=second)[0] == 200
    assert c.call("GET", c.remote(ticket))[1].startswith(b"HALVOREN-REMOTE/1 ENCERRADO %s\n" % second.encode())
    assert c.frame(ticket, second)[0] == 409

    # Finishing from the console ends a live remote session too.
    third = demo.console("POST", "/api/chamados/%d/remoto" % ticket)[1]["pedido"]
    assert c.form(c.remote(ticket), chamado=str(ticket), acao="aceitar", pedido=third)[0] == 200
    assert demo.console("POST", "/api/chamados/%d/finalizar" % ticket)[0] == 200
    assert c.frame(ticket, third)[0] == 409
    assert has_state(c.queue(), "CONCLUIDO")
    assert c.call("GET", c.remote(ticket))[0] == 409


def test_refusals_of_the_api(demo):
    c = demo.customer().login(*DEMO)
    other = new_account(demo, "eva@exemplo.com.br")
    ticket = in_service(demo, c)
    stranger = demo.customer()
    stranger.token = "nao-existe"
    for who in (stranger, demo.customer()):
        assert who.call("GET", ACCOUNT + "/atendimento")[0] == 401
        assert who.call("GET", "/suporte/api/chat/cliente?formato=texto")[0] == 401
        assert who.call("GET", c.remote(ticket))[0] == 401
        assert who.json(ACCOUNT + "/pagamentos", {"creditos": 1})[0] == 401
    # Somebody else's ticket, or none at all, is not found; a wrong anti-forgery value is forbidden.
    assert other.call("GET", other.remote(ticket))[0] == 404
    assert c.call("GET", c.remote(99999))[0] == 404
    assert c.call("GET", "/suporte/api/remoto/cliente?formato=texto&chamado=abc")[0] == 400
    assert other.form("/suporte/api/finalizar/cliente", chamado=str(ticket))[0] == 404
    assert c.form("/suporte/api/finalizar/cliente", chamado="99999")[0] == 404
    assert c.form("/suporte/api/finalizar/cliente", chamado=str(ticket), csrf="x")[0] == 403
    assert c.form("/suporte/api/chat/cliente", chamado=str(ticket), mensagem="oi", csrf=other.token)[0] == 403
    assert c.form("/suporte/api/chat/cliente", chamado=str(ticket), mensagem="")[0] == 400
    assert other.form("/suporte/api/chat/cliente", chamado=str(ticket), mensagem="oi")[0] == 404
    assert c.form(c.remote(ticket), chamado=str(ticket), acao="pular", pedido="x")[0] == 400
    # Purchases: only the three packages, as a JSON number.
    for bad in ({"creditos": 2}, {"creditos": "3"}, {"creditos": True}, {}):
        assert c.json(ACCOUNT + "/pagamentos", bad)[0] == 400
    assert c.call("POST", ACCOUNT + "/pagamentos", b"{creditos:3", "application/json")[0] == 400
    assert other.json(ACCOUNT + "/atendimento", {"descricao": "sem saldo"})[0] == 402
    assert other.json(ACCOUNT + "/atendimento/cancelar", {"id": ticket})[0] == 404
    assert c.call("GET", "/suporte/avulso/api/outra")[0] == 404
    assert c.call("DELETE", ACCOUNT + "/atendimento")[0] == 405
    assert c.call("GET", ACCOUNT + "/login")[0] == 405


def test_registration_and_sign_in_refusals(demo):
    c = demo.customer()
    register = lambda email, senha, conf=None: c.json(ACCOUNT + "/cadastro", {
        "email": email, "senha": senha, "confirmacao": senha if conf is None else conf})[0]
    assert register("curta@exemplo.com", "1234567") == 422
    assert register("longa@exemplo.com", "x" * 129) == 422
    assert register("sem-arroba", "segredo123") == 422
    assert register("outra@exemplo.com", "segredo123", "segredo124") == 422
    assert register(DEMO[0].upper(), "segredo123") == 409
    assert register("acentos@exemplo.com", "çãéíõúâê") == 202, "eight characters, sixteen bytes"

    status, body = c.json(ACCOUNT + "/cadastro", {"email": "zeca@exemplo.com", "senha": "segredo123",
                                                  "confirmacao": "segredo123"})
    challenge = json.loads(body)["desafio"]
    code = demo.state()["emails"][0]["codigo"]
    assert re.fullmatch(r"\d{6}", code)
    assert "zeca@exemplo.com: código de confirmação %s" % code in open(demo.log.name).read()
    assert c.json(ACCOUNT + "/login", {"email": "zeca@exemplo.com", "senha": "segredo123"})[0] == 401
    wrong = "000000" if code != "000000" else "111111"
    assert c.json(ACCOUNT + "/cadastro/confirmar", {"desafio": challenge, "codigo": wrong})[0] == 422
    assert c.json(ACCOUNT + "/cadastro/confirmar", {"desafio": "inventado", "codigo": code})[0] == 410
    assert c.json(ACCOUNT + "/cadastro/confirmar", {"desafio": challenge, "codigo": code})[0] == 200
    assert c.json(ACCOUNT + "/cadastro/confirmar", {"desafio": challenge, "codigo": code})[0] == 410
    assert c.json(ACCOUNT + "/login", {"email": "Zeca@Exemplo.com", "senha": "segredo123"})[0] == 200

    # Guessing codes ends the registration; guessing passwords pauses sign-in.
    status, body = c.json(ACCOUNT + "/cadastro", {"email": "rui@exemplo.com", "senha": "segredo123",
                                                  "confirmacao": "segredo123"})
    challenge = json.loads(body)["desafio"]
    code = demo.state()["emails"][0]["codigo"]
    wrong = "000000" if code != "000000" else "111111"
    assert [c.json(ACCOUNT + "/cadastro/confirmar", {"desafio": challenge, "codigo": wrong})[0]
            for _ in range(5)] == [422, 422, 422, 422, 429]
    assert c.json(ACCOUNT + "/cadastro/confirmar", {"desafio": challenge, "codigo": code})[0] == 410
    attempts = [c.json(ACCOUNT + "/login", {"email": DEMO[0], "senha": "errada"})[0] for _ in range(6)]
    assert attempts == [401] * 5 + [429]
    assert c.json(ACCOUNT + "/login", {"email": DEMO[0], "senha": DEMO[1]})[0] == 429


def test_presence_follows_the_console_or_the_setting(certs, tmp_path):
    (tmp_path / "auto").mkdir()
    (tmp_path / "forced").mkdir()
    demo = Demo(certs, str(tmp_path / "auto"))
    try:
        c = demo.customer()
        online = lambda: client_int(c.call("GET", "/suporte/avulso/api/presenca")[1], "online")
        assert online() == 0, "nobody has the console open yet"
        demo.state()
        assert online() == 1
        assert demo.console("POST", "/api/presenca", {"modo": "offline"})[0] == 200
        demo.state()
        assert online() == 0
        assert demo.console("POST", "/api/presenca", {"modo": "sempre"})[0] == 400
    finally:
        demo.stop()
    forced = Demo(certs, str(tmp_path / "forced"), "--presenca", "online")
    try:
        assert client_int(forced.customer().call("GET", "/suporte/avulso/api/presenca")[1], "online") == 1
    finally:
        forced.stop()


def test_console_serves_its_page_and_guards_its_api(demo):
    for path, kind in (("/", "text/html"), ("/console.css", "text/css"), ("/console.js", "javascript")):
        status, body = demo.console("GET", path)
        assert status == 200 and body and kind in demo.content_type
    status, page = demo.console("GET", "/")
    assert b'lang="pt-BR"' in page and b"http" not in page.replace(b'http-equiv', b''), "no outside fetches"
    assert b"https://" not in demo.console("GET", "/console.js")[1]
    assert demo.console("GET", "/api/estado", headers={"Host": "evil.example:80"})[0] == 403
    c = http.client.HTTPConnection("127.0.0.1", demo.console_port, timeout=10)
    c.request("POST", "/api/presenca", body=b"modo=online", headers={"Content-Type": "application/x-www-form-urlencoded"})
    assert c.getresponse().status == 415
    c.close()

    c = demo.customer().login(*DEMO)
    ticket = in_service(demo, c)
    request_id = demo.console("POST", "/api/chamados/%d/remoto" % ticket)[1]["pedido"]
    assert c.form(c.remote(ticket), chamado=str(ticket), acao="aceitar", pedido=request_id)[0] == 200
    for bad in ({"verbo": "clicar", "x": 320, "y": 0}, {"verbo": "mover", "x": 0, "y": 180},
                {"verbo": "mover", "x": -1, "y": 0}, {"verbo": "tecla", "codigo": 0},
                {"verbo": "texto", "texto": ""}, {"verbo": "rolar", "x": 1, "y": 1}, "clicar 1 1"):
        assert demo.console("POST", "/api/chamados/%d/comandos" % ticket, {"comandos": [bad]})[0] == 400, bad
    assert c.frame(ticket, request_id) == (200, b""), "a refused batch queues nothing"
    assert demo.console("POST", "/api/chamados/99999/assumir", {})[0] == 404
    assert demo.console("POST", "/api/chamados/%d/assumir" % ticket, {})[0] == 409
    assert demo.console("POST", "/api/pagamentos/pay_nada/confirmar")[0] == 404


def test_free_text_never_misleads_the_clients_readers(demo):
    # The client takes the first quoted key or state anywhere in the answer, so customers' and
    # technicians' words must not reach the queue answer before (or instead of) the real items.
    c = demo.customer().login(*DEMO)
    status, body = c.json(ACCOUNT + "/atendimento", {"descricao": '"id": 7, "saldo": 99 "CONCLUIDO"'})
    ticket = client_int(body, "id")
    assert demo.console("POST", "/api/chamados/%d/assumir" % ticket, {"tecnico": '"CANCELADO" "id":5'})[0] == 200
    q = c.queue()
    assert client_int(q, "id") == ticket and client_int(q, "saldo") == 2
    assert has_state(q, "EM_ATENDIMENTO")
    assert not any(has_state(q, s) for s in ("AGUARDANDO", "CONCLUIDO", "CANCELADO"))
    # In the chat a line break followed by a prefix would forge a message of the other side.
    assert c.form("/suporte/api/chat/cliente", chamado=str(ticket), mensagem="a\rb")[0] == 201
    assert c.call("GET", "/suporte/api/chat/cliente?formato=texto")[1].decode().endswith("Cliente: a\nb\n")
    # The status line keeps the technician's name after its first line feed, whole.
    assert c.call("GET", c.remote(ticket))[1].decode().split("\n", 1)[1] == '"CANCELADO" "id":5'


def test_commands_are_handed_over_in_batches_and_bounded(demo):
    c = demo.customer().login(*DEMO)
    ticket = in_service(demo, c)
    request_id = demo.console("POST", "/api/chamados/%d/remoto" % ticket)[1]["pedido"]
    assert c.form(c.remote(ticket), chamado=str(ticket), acao="aceitar", pedido=request_id)[0] == 200
    path = "/api/chamados/%d/comandos" % ticket
    assert demo.console("POST", path, {"comandos": [{"verbo": "texto", "texto": "x" * 100}]})[0] == 202
    assert demo.console("POST", path, {"comandos": [{"verbo": "texto", "texto": "a\r\nb"}]})[0] == 202
    first = c.frame(ticket, request_id)[1].decode().splitlines()
    second = c.frame(ticket, request_id)[1].decode().splitlines()
    assert len(first) == 64 and first[0] == "texto 120 0"
    assert second[-3:] == ["texto 97 0", "texto 13 0", "texto 98 0"] and len(second) == 39
    many = {"comandos": [{"verbo": "mover", "x": 1, "y": 1}] * 400}
    assert demo.console("POST", path, many)[0] == 202
    assert demo.console("POST", path, {"comandos": [{"verbo": "mover", "x": 2, "y": 2}]})[0] == 429
