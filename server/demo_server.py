#!/usr/bin/python3
"""Local demo of the support service: the support API the client talks to, over HTTPS, and the
technician console, a web page on a loopback port, sharing one in-memory state.

Nothing is stored on disk and nothing is sent anywhere: the e-mailed registration code is printed
in the log (and shown in the console), and the checkout link's payment is confirmed from the
console. Python standard library only.

    demo_server.py --cert server.crt --key server.key [--api-port 443] [--console-port 8080]

Port 0 picks a free port; --portfile then receives {"api": N, "console": M} once both listen.
"""

import argparse
import collections
import datetime
import hashlib
import hmac
import http.server
import json
import mimetypes
import os
import re
import secrets
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse

import acks

FRAME_WIDTH, FRAME_HEIGHT = 640, 360
FRAME_BYTES = FRAME_WIDTH * FRAME_HEIGHT * 2
GRID_X, GRID_Y = 320, 180
PACKAGES = {1: "49.99", 3: "119.97", 5: "149.95"}
AGUARDANDO, EM_ATENDIMENTO, CONCLUIDO, CANCELADO = "AGUARDANDO", "EM_ATENDIMENTO", "CONCLUIDO", "CANCELADO"
CHALLENGE_SECONDS = 15 * 60
CODE_TRIES = 5
LOGIN_FAILURES, LOGIN_WINDOW = 5, 300
# A console poll within this many seconds counts as a technician being present.
CONSOLE_PRESENCE_SECONDS = 10
MAX_MESSAGE = 2000
MAX_DESCRIPTION = 500
# Commands waiting for the next frame; a console left clicking on a dead session must not grow forever.
MAX_QUEUED_COMMANDS = 400
COMMANDS_PER_FRAME = 64
API_BODY_LIMIT = FRAME_BYTES + 4096
CONSOLE_BODY_LIMIT = 65536
CONSOLE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "console")

ACCOUNT = "/suporte/avulso/api/conta"
REMOTE_PATH = "/suporte/api/remoto/cliente"


def now():
    return time.time()


def stamp(t):
    if t is None:
        return None
    return datetime.datetime.fromtimestamp(int(t), datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def log(text):
    line = "[%s] %s" % (time.strftime("%H:%M:%S"), text)
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


class Refusal(Exception):
    def __init__(self, status, message):
        super().__init__(message)
        self.status = status
        self.message = message


def hash_password(password, salt=None):
    salt = salt or secrets.token_bytes(16)
    return salt, hashlib.pbkdf2_hmac("sha256", password.encode("utf-8"), salt, 20000)


class Account:
    def __init__(self, email, password, balance=0):
        self.email = email
        self.salt, self.digest = hash_password(password)
        self.balance = balance
        self.last_ticket = None

    def password_is(self, password):
        return hmac.compare_digest(hash_password(password, self.salt)[1], self.digest)


class Remote:
    def __init__(self, request_id):
        self.id = request_id
        self.state = "PENDENTE"
        self.commands = collections.deque()
        self.frame = None
        self.frame_seq = 0
        self.frame_at = None
        self.asked_at = now()


class Ticket:
    def __init__(self, ticket_id, account, description):
        self.id = ticket_id
        self.account = account
        self.description = description
        self.state = AGUARDANDO
        self.created = now()
        self.taken = None
        self.closed = None
        self.technician = ""
        self.messages = []
        self.remote = None
        self.requests = 0

    def summary(self):
        return {"id": self.id, "email": self.account.email, "estado": self.state,
                "descricao": self.description, "tecnico": self.technician,
                "criado_em": stamp(self.created), "chamado_em": stamp(self.taken),
                "encerrado_em": stamp(self.closed),
                "remoto": self.remote.state if self.remote else None}


class Demo:
    """All the service's state; every method runs under the one lock."""

    def __init__(self, checkout_host="sandbox.asaas.com", presence="auto"):
        self.lock = threading.RLock()
        self.checkout_host = checkout_host
        self.presence_mode = presence
        self.accounts = {}
        self.tokens = {}
        self.challenges = {}
        self.login_failures = collections.defaultdict(list)
        self.tickets = {}
        self.next_ticket = 1001
        self.payments = {}
        self.emails = collections.deque(maxlen=20)
        self.activity = collections.deque(maxlen=40)
        self.console_seen = 0.0
        self.demo_account = None

    def event(self, text):
        self.activity.append({"hora": stamp(now()), "texto": text})
        log(text)

    # --- accounts -----------------------------------------------------------------------------

    def seed(self, email, password, balance):
        with self.lock:
            self.accounts[email.lower()] = Account(email, password, balance)
            self.demo_account = {"email": email, "senha": password}

    def account_for(self, token):
        with self.lock:
            account = self.tokens.get(token or "")
            if account is None:
                raise Refusal(401, "Sessão inválida. Entre novamente.")
            return account

    def register(self, email, password, confirmation):
        if not re.fullmatch(r"[^@\s]+@[^@\s]+\.[^@\s]+", email) or len(email) > 254:
            raise Refusal(422, "E-mail inválido.")
        if not 8 <= len(password) <= 128:
            raise Refusal(422, "A senha precisa ter de 8 a 128 caracteres.")
        if password != confirmation:
            raise Refusal(422, "A confirmação não confere com a senha.")
        with self.lock:
            if email.lower() in self.accounts:
                raise Refusal(409, "Já existe uma conta com este e-mail.")
            challenge = secrets.token_hex(16)
            code = "%06d" % secrets.randbelow(1000000)
            self.challenges[challenge] = {"email": email, "password": password, "code": code,
                                          "expires": now() + CHALLENGE_SECONDS, "tries": 0}
            self.emails.append({"hora": stamp(now()), "para": email, "codigo": code})
            self.event("E-mail para %s: código de confirmação %s" % (email, code))
            return challenge

    def confirm(self, challenge, code):
        with self.lock:
            pending = self.challenges.get(challenge)
            if pending is None or pending["expires"] < now():
                self.challenges.pop(challenge, None)
                raise Refusal(410, "Cadastro expirado. Refaça o cadastro.")
            if not hmac.compare_digest(code.encode("utf-8"), pending["code"].encode("utf-8")):
                pending["tries"] += 1
                if pending["tries"] >= CODE_TRIES:
                    del self.challenges[challenge]
                    raise Refusal(429, "Muitas tentativas. Refaça o cadastro.")
                raise Refusal(422, "Código incorreto.")
            del self.challenges[challenge]
            email = pending["email"]
            if email.lower() in self.accounts:
                raise Refusal(409, "Já existe uma conta com este e-mail.")
            self.accounts[email.lower()] = Account(email, pending["password"])
            self.event("Conta confirmada: %s" % email)

    def login(self, email, password):
        key = email.lower()
        with self.lock:
            recent = [t for t in self.login_failures[key] if t > now() - LOGIN_WINDOW]
            self.login_failures[key] = recent
            if len(recent) >= LOGIN_FAILURES:
                raise Refusal(429, "Muitas tentativas. Aguarde antes de tentar novamente.")
            account = self.accounts.get(key)
            if account is None or not account.password_is(password):
                recent.append(now())
                raise Refusal(401, "E-mail ou senha incorretos.")
            self.login_failures.pop(key, None)
            token = secrets.token_urlsafe(32)
            self.tokens[token] = account
            self.event("Entrada na conta: %s" % account.email)
            return token

    # --- payments -----------------------------------------------------------------------------

    def create_payment(self, account, credits):
        if type(credits) is not int or credits not in PACKAGES:
            raise Refusal(400, "Pacote inválido: use 1, 3 ou 5 créditos.")
        with self.lock:
            payment_id = "pay_" + secrets.token_hex(8)
            link = "https://%s/checkoutSession/show?id=%s" % (self.checkout_host, payment_id)
            self.payments[payment_id] = {"id": payment_id, "email": account.email, "account": account,
                                         "creditos": credits, "valor": PACKAGES[credits],
                                         "estado": "PENDENTE", "criado_em": stamp(now()),
                                         "confirmado_em": None, "link": link}
            self.event("Pagamento criado: %s, %d crédito(s) para %s" % (payment_id, credits, account.email))
            return payment_id, link, PACKAGES[credits]

    def confirm_payment(self, payment_id):
        with self.lock:
            payment = self.payments.get(payment_id)
            if payment is None:
                raise Refusal(404, "Pagamento não encontrado.")
            if payment["estado"] != "PENDENTE":
                raise Refusal(409, "Pagamento já confirmado.")
            payment["estado"] = "CONFIRMADO"
            payment["confirmado_em"] = stamp(now())
            payment["account"].balance += payment["creditos"]
            self.event("Pagamento %s confirmado: +%d crédito(s) para %s"
                       % (payment_id, payment["creditos"], payment["email"]))

    # --- queue and tickets --------------------------------------------------------------------

    def waiting(self):
        return sorted((t for t in self.tickets.values() if t.state == AGUARDANDO), key=lambda t: t.id)

    def position(self, ticket):
        return self.waiting().index(ticket) + 1 if ticket.state == AGUARDANDO else 0

    def queue_answer(self, account):
        """The account's current or last ticket; the client reads the first "id" and any quoted state."""
        with self.lock:
            ticket = account.last_ticket
            if ticket is None:
                return {"saldo": account.balance}
            answer = {"id": ticket.id, "estado": ticket.state, "saldo": account.balance,
                      "posicao": self.position(ticket), "criado_em": stamp(ticket.created)}
            if ticket.taken:
                answer["chamado_em"] = stamp(ticket.taken)
            if ticket.closed:
                answer["encerrado_em"] = stamp(ticket.closed)
            return answer

    def open_ticket(self, account, description):
        if len(description) > MAX_DESCRIPTION:
            raise Refusal(400, "Descrição longa demais.")
        with self.lock:
            current = account.last_ticket
            if current and current.state in (AGUARDANDO, EM_ATENDIMENTO):
                raise Refusal(409, "Já existe um chamado aberto.")
            # The credit is taken when the ticket opens and given back if it is cancelled while waiting.
            if account.balance < 1:
                raise Refusal(402, "Saldo insuficiente.")
            account.balance -= 1
            ticket = Ticket(self.next_ticket, account, description)
            self.next_ticket += 1
            self.tickets[ticket.id] = ticket
            account.last_ticket = ticket
            self.event("Chamado #%d aberto por %s (posição %d)"
                       % (ticket.id, account.email, self.position(ticket)))
            return {"id": ticket.id, "estado": AGUARDANDO, "posicao": self.position(ticket),
                    "saldo": account.balance, "criado_em": stamp(ticket.created)}

    def ticket(self, ticket_id, account=None):
        ticket = self.tickets.get(ticket_id)
        if ticket is None or (account is not None and ticket.account is not account):
            raise Refusal(404, "Chamado não encontrado.")
        return ticket

    def cancel(self, ticket_id, account=None):
        with self.lock:
            ticket = self.ticket(ticket_id, account)
            if ticket.state != AGUARDANDO:
                raise Refusal(409, "Só um chamado na fila pode ser cancelado.")
            ticket.state = CANCELADO
            ticket.closed = now()
            ticket.account.balance += 1
            self.event("Chamado #%d cancelado%s" % (ticket.id, "" if account else " pelo técnico"))
            return {"id": ticket.id, "estado": CANCELADO, "saldo": ticket.account.balance}

    def take(self, ticket_id, technician):
        with self.lock:
            ticket = self.ticket(ticket_id)
            if ticket.state != AGUARDANDO:
                raise Refusal(409, "O chamado não está na fila.")
            ticket.state = EM_ATENDIMENTO
            ticket.taken = now()
            ticket.technician = technician
            self.event("Chamado #%d assumido por %s" % (ticket.id, technician))

    def finish(self, ticket_id, account=None):
        with self.lock:
            ticket = self.ticket(ticket_id, account)
            if ticket.state != EM_ATENDIMENTO:
                raise Refusal(409, "O chamado não está em atendimento.")
            ticket.state = CONCLUIDO
            ticket.closed = now()
            if ticket.remote and ticket.remote.state in ("PENDENTE", "ACEITO"):
                ticket.remote.state = "ENCERRADO"
            self.event("Chamado #%d concluído %s" % (ticket.id, "pelo cliente" if account else "pelo técnico"))

    def in_service(self, ticket_id, account=None):
        ticket = self.ticket(ticket_id, account)
        if ticket.state != EM_ATENDIMENTO:
            raise Refusal(409, "O chamado não está em atendimento.")
        return ticket

    # --- chat ---------------------------------------------------------------------------------

    def say(self, ticket_id, text, account=None):
        text = text.replace("\r\n", "\n").replace("\r", "\n")
        if not text:
            raise Refusal(400, "Mensagem vazia.")
        if len(text) > MAX_MESSAGE:
            raise Refusal(413, "Mensagem longa demais.")
        with self.lock:
            ticket = self.in_service(ticket_id, account)
            ticket.messages.append({"autor": "cliente" if account else "tecnico", "texto": text,
                                    "hora": stamp(now())})

    def chat_text(self, account):
        with self.lock:
            ticket = account.last_ticket
            if ticket is None or ticket.state != EM_ATENDIMENTO:
                raise Refusal(409, "Nenhum chamado em atendimento.")
            lines = ["HALVOREN-CHAT/1 %d\n" % ticket.id]
            for m in ticket.messages:
                lines.append(("Técnico: " if m["autor"] == "tecnico" else "Cliente: ") + m["texto"] + "\n")
            return "".join(lines)

    # --- remote channel -----------------------------------------------------------------------

    def ask_remote(self, ticket_id):
        with self.lock:
            ticket = self.in_service(ticket_id)
            if ticket.remote and ticket.remote.state in ("PENDENTE", "ACEITO"):
                raise Refusal(409, "Já existe um pedido de acesso remoto em andamento.")
            ticket.requests += 1
            ticket.remote = Remote("%d.%d" % (ticket.id, ticket.requests))
            self.event("Chamado #%d: acesso remoto pedido (%s)" % (ticket.id, ticket.remote.id))
            return ticket.remote.id

    def end_remote(self, ticket_id, account=None, request_id=None):
        with self.lock:
            ticket = self.ticket(ticket_id, account)
            remote = ticket.remote
            if remote is None or remote.state not in ("PENDENTE", "ACEITO") or \
                    (request_id is not None and request_id != remote.id):
                raise Refusal(409, "Nenhum acesso remoto em andamento.")
            remote.state = "ENCERRADO"
            remote.commands.clear()
            self.event("Chamado #%d: acesso remoto encerrado %s"
                       % (ticket.id, "pelo cliente" if account else "pelo técnico"))

    def status_line(self, ticket_id, account):
        with self.lock:
            ticket = self.in_service(ticket_id, account)
            remote = ticket.remote
            state, request_id = (remote.state, remote.id) if remote else ("NENHUM", "-")
            return "HALVOREN-REMOTE/1 %s %s\n%s" % (state, request_id, ticket.technician)

    def answer_remote(self, ticket_id, account, action, request_id):
        if action == "desconectar":
            return self.end_remote(ticket_id, account, request_id)
        if action not in ("aceitar", "recusar"):
            raise Refusal(400, "Ação desconhecida.")
        with self.lock:
            remote = self.in_service(ticket_id, account).remote
            if remote is None or remote.id != request_id or remote.state != "PENDENTE":
                raise Refusal(409, "O pedido expirou.")
            remote.state = "ACEITO" if action == "aceitar" else "RECUSADO"
            self.event("Chamado #%d: cliente %s o acesso remoto"
                       % (ticket_id, "aceitou" if action == "aceitar" else "recusou"))

    def upload_frame(self, ticket_id, account, request_id, frame):
        if len(frame) != FRAME_BYTES:
            raise Refusal(400, "Quadro com tamanho errado.")
        with self.lock:
            remote = self.in_service(ticket_id, account).remote
            # Any other status tells the client the session is over; its next status poll says how.
            if remote is None or remote.id != request_id or remote.state != "ACEITO":
                raise Refusal(409, "Acesso remoto encerrado.")
            remote.frame = frame
            remote.frame_seq += 1
            remote.frame_at = now()
            lines = []
            while remote.commands and len(lines) < COMMANDS_PER_FRAME:
                lines.append(remote.commands.popleft())
            return "".join(lines)

    def queue_commands(self, ticket_id, commands):
        lines = []
        for c in commands if isinstance(commands, list) else [None]:
            lines.extend(command_lines(c))
        with self.lock:
            ticket = self.in_service(ticket_id)
            remote = ticket.remote
            if remote is None or remote.state != "ACEITO":
                raise Refusal(409, "O acesso remoto não está ativo.")
            if len(remote.commands) + len(lines) > MAX_QUEUED_COMMANDS:
                raise Refusal(429, "Comandos demais na fila; aguarde o próximo quadro.")
            remote.commands.extend(lines)
            return len(lines)

    def frame(self, ticket_id, after):
        with self.lock:
            remote = self.ticket(ticket_id).remote
            if remote is None or remote.frame is None or remote.frame_seq <= after:
                return None, 0
            return remote.frame, remote.frame_seq

    # --- presence and console views -----------------------------------------------------------

    def online(self):
        with self.lock:
            if self.presence_mode in ("online", "offline"):
                return self.presence_mode == "online"
            return now() - self.console_seen < CONSOLE_PRESENCE_SECONDS

    def set_presence(self, mode):
        if mode not in ("auto", "online", "offline"):
            raise Refusal(400, "Modo de presença inválido.")
        with self.lock:
            self.presence_mode = mode

    def overview(self):
        with self.lock:
            self.console_seen = now()
            tickets = sorted(self.tickets.values(), key=lambda t: t.id)
            queue = [dict(t.summary(), posicao=i + 1) for i, t in enumerate(self.waiting())]
            active = [t.summary() for t in tickets if t.state == EM_ATENDIMENTO]
            closed = sorted((t for t in tickets if t.state in (CONCLUIDO, CANCELADO)),
                            key=lambda t: t.closed, reverse=True)[:10]
            payments = sorted(self.payments.values(), key=lambda p: (p["estado"] != "PENDENTE", p["criado_em"]))
            return {"agora": stamp(now()), "demo": self.demo_account,
                    "presenca": {"modo": self.presence_mode, "online": self.online()},
                    "fila": queue, "atendimentos": active, "encerrados": [t.summary() for t in closed],
                    "pagamentos": [{k: v for k, v in p.items() if k != "account"} for p in payments[:12]],
                    "contas": [{"email": a.email, "saldo": a.balance} for a in self.accounts.values()],
                    "emails": list(reversed(self.emails)), "atividade": list(reversed(self.activity))}

    def detail(self, ticket_id):
        with self.lock:
            ticket = self.ticket(ticket_id)
            view = ticket.summary()
            view["saldo"] = ticket.account.balance
            view["posicao"] = self.position(ticket)
            view["mensagens"] = list(ticket.messages)
            remote = ticket.remote
            view["remoto"] = None if remote is None else {
                "pedido": remote.id, "estado": remote.state, "quadro": remote.frame_seq,
                "quadro_em": stamp(remote.frame_at), "comandos_pendentes": len(remote.commands)}
            return view


def command_lines(c):
    """One console command as the client's command lines: verb, two numbers, line feed."""
    if not isinstance(c, dict):
        raise Refusal(400, "Comando inválido.")
    verb = c.get("verbo")
    if verb in ("clicar", "direito", "mover"):
        x, y = c.get("x"), c.get("y")
        if type(x) is not int or type(y) is not int or not (0 <= x < GRID_X and 0 <= y < GRID_Y):
            raise Refusal(400, "Coordenadas fora da tela (0-319, 0-179).")
        return ["%s %d %d\n" % (verb, x, y)]
    if verb == "texto":
        text = c.get("texto")
        if not isinstance(text, str) or not text or len(text) > 500:
            raise Refusal(400, "Texto inválido.")
        # One line per UTF-16 code unit; the client types each unit as it comes.
        units = text.replace("\r\n", "\n").replace("\n", "\r").encode("utf-16-le")
        return ["texto %d 0\n" % int.from_bytes(units[i:i + 2], "little") for i in range(0, len(units), 2)]
    if verb == "tecla":
        code = c.get("codigo")
        if type(code) is not int or not 1 <= code <= 254:
            raise Refusal(400, "Código de tecla inválido.")
        return ["tecla %d 0\n" % code]
    raise Refusal(400, "Comando desconhecido.")


# --- HTTP plumbing ------------------------------------------------------------------------------

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 120
    body_limit = API_BODY_LIMIT

    def log_message(self, format, *args):
        pass

    def log_error(self, format, *args):
        sys.stderr.write("demo_server: %s: %s\n" % (self.client_address[0], format % args))

    def do_GET(self):
        self.dispatch()

    def do_POST(self):
        self.dispatch()

    # Other verbs reach the router too, so a known path answers 405 rather than 501.
    do_PUT = do_DELETE = do_PATCH = do_POST

    def dispatch(self):
        length = (self.headers.get("Content-Length") or "0").strip()
        if not length.isdigit() or int(length) > self.body_limit or self.headers.get("Transfer-Encoding"):
            self.close_connection = True
            self.reply_json(413 if length.isdigit() else 400, {"erro": "Corpo inválido."})
            return
        body = acks.read_acked(self.connection, self.rfile, int(length))
        route, _, query = self.path.partition("?")
        self.query = {k: v[-1] for k, v in urllib.parse.parse_qs(query, keep_blank_values=True).items()}
        self.body = body
        try:
            self.route(route)
        except Refusal as r:
            self.reply_json(r.status, {"erro": r.message})

    def reply(self, status, content_type, body, extra=()):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def reply_json(self, status, obj):
        self.reply(status, "application/json; charset=utf-8", json.dumps(obj, ensure_ascii=False))

    def json_body(self):
        try:
            data = json.loads(self.body.decode("utf-8"))
        except (UnicodeDecodeError, ValueError):
            raise Refusal(400, "JSON inválido.")
        if not isinstance(data, dict):
            raise Refusal(400, "JSON inválido.")
        return data

    def text_field(self, data, name):
        value = data.get(name)
        if not isinstance(value, str):
            raise Refusal(400, "Campo %s ausente." % name)
        return value


class ApiHandler(Handler):
    """The support API exactly as the client reads it."""

    def route(self, route):
        demo = self.server.demo
        routes = {
            ("POST", ACCOUNT + "/login"): self.login,
            ("POST", ACCOUNT + "/cadastro"): self.register,
            ("POST", ACCOUNT + "/cadastro/confirmar"): self.confirm,
            ("POST", ACCOUNT + "/pagamentos"): self.payment,
            ("GET", ACCOUNT + "/atendimento"): self.queue,
            ("POST", ACCOUNT + "/atendimento"): self.open_ticket,
            ("POST", ACCOUNT + "/atendimento/cancelar"): self.cancel,
            ("GET", "/suporte/avulso/api/presenca"):
                lambda: self.reply_json(200, {"online": 1 if demo.online() else 0}),
            ("POST", "/suporte/api/finalizar/cliente"): self.finish_ticket,
            ("GET", "/suporte/api/chat/cliente"): self.chat,
            ("POST", "/suporte/api/chat/cliente"): self.chat_send,
            ("GET", REMOTE_PATH): self.remote_status,
            ("POST", REMOTE_PATH): self.remote_post,
        }
        handler = routes.get((self.command, route))
        if handler is None:
            known = any(path == route for _, path in routes)
            raise Refusal(405 if known else 404, "Método não permitido." if known else "Não encontrado.")
        handler()

    def account(self):
        auth = self.headers.get("Authorization") or ""
        token = auth[7:].strip() if auth[:7].lower() == "bearer " else ""
        return self.server.demo.account_for(token)

    def form(self, account):
        """A posted form whose anti-forgery field must be the session's own token."""
        try:
            fields = urllib.parse.parse_qs(self.body.decode("utf-8"), keep_blank_values=True)
        except UnicodeDecodeError:
            raise Refusal(400, "Formulário inválido.")
        fields = {k: v[-1] for k, v in fields.items()}
        self.check_csrf(account, fields.get("csrf", ""))
        return fields

    def check_csrf(self, account, value):
        if self.server.demo.tokens.get(value) is not account:
            raise Refusal(403, "Token anti-falsificação inválido.")

    def ticket_id(self, text):
        if not text or not text.isdigit() or len(text) > 9:
            raise Refusal(400, "Chamado inválido.")
        return int(text)

    def login(self):
        data = self.json_body()
        token = self.server.demo.login(self.text_field(data, "email"), self.text_field(data, "senha"))
        self.reply_json(200, {"token": token})

    def register(self):
        data = self.json_body()
        challenge = self.server.demo.register(self.text_field(data, "email"), self.text_field(data, "senha"),
                                              self.text_field(data, "confirmacao"))
        self.reply_json(202, {"desafio": challenge, "mensagem": "Enviamos um código para o seu e-mail."})

    def confirm(self):
        data = self.json_body()
        self.server.demo.confirm(self.text_field(data, "desafio"), self.text_field(data, "codigo"))
        self.reply_json(200, {"confirmado": True})

    def payment(self):
        account = self.account()
        payment_id, link, value = self.server.demo.create_payment(account, self.json_body().get("creditos"))
        self.reply_json(201, {"link": link, "pagamento": payment_id, "valor": value})

    def queue(self):
        self.reply_json(200, self.server.demo.queue_answer(self.account()))

    def open_ticket(self):
        account = self.account()
        answer = self.server.demo.open_ticket(account, self.text_field(self.json_body(), "descricao"))
        self.reply_json(201, answer)

    def cancel(self):
        account = self.account()
        ticket_id = self.json_body().get("id")
        if type(ticket_id) is not int:
            raise Refusal(400, "Chamado inválido.")
        self.reply_json(200, self.server.demo.cancel(ticket_id, account))

    def finish_ticket(self):
        account = self.account()
        fields = self.form(account)
        self.server.demo.finish(self.ticket_id(fields.get("chamado")), account)
        self.reply_json(200, {"estado": "finalizado"})

    def chat(self):
        self.reply(200, "text/plain; charset=utf-8", self.server.demo.chat_text(self.account()))

    def chat_send(self):
        account = self.account()
        fields = self.form(account)
        self.server.demo.say(self.ticket_id(fields.get("chamado")), fields.get("mensagem", ""), account)
        self.reply_json(201, {"enviada": True})

    def remote_status(self):
        account = self.account()
        line = self.server.demo.status_line(self.ticket_id(self.query.get("chamado")), account)
        self.reply(200, "text/plain; charset=utf-8", line)

    def remote_post(self):
        account = self.account()
        demo = self.server.demo
        if self.query.get("fluxo") == "1":
            self.check_csrf(account, self.headers.get("X-CSRF-Token") or "")
            commands = demo.upload_frame(self.ticket_id(self.query.get("chamado")), account,
                                         self.query.get("pedido", ""), self.body)
            self.reply(200, "text/plain; charset=utf-8", commands)
            return
        fields = self.form(account)
        if fields.get("chamado") != self.query.get("chamado"):
            raise Refusal(400, "Chamado inválido.")
        demo.answer_remote(self.ticket_id(fields.get("chamado")), account, fields.get("acao", ""),
                           fields.get("pedido", ""))
        self.reply_json(200, {"ok": True})


class ConsoleHandler(Handler):
    """The technician console: its page and a small JSON API, for this machine only."""

    body_limit = CONSOLE_BODY_LIMIT
    pages = {"/": "index.html", "/index.html": "index.html", "/console.css": "console.css",
             "/console.js": "console.js", "/favicon.svg": "favicon.svg"}

    def route(self, route):
        # A page from elsewhere must not drive the console: only loopback names, and JSON posts,
        # which a cross-site form cannot send without a preflight we never grant.
        host = (self.headers.get("Host") or "").rsplit(":", 1)[0]
        if host not in ("127.0.0.1", "localhost", "[::1]"):
            raise Refusal(403, "Console disponível apenas neste computador.")
        if self.command == "POST" and not (self.headers.get("Content-Type") or "").startswith("application/json"):
            raise Refusal(415, "Use JSON.")
        if self.command == "GET" and route in self.pages:
            return self.static(self.pages[route])
        demo = self.server.demo
        parts = route.strip("/").split("/")
        if parts[:1] != ["api"]:
            raise Refusal(404, "Não encontrado.")
        parts = parts[1:]
        if self.command == "GET" and parts == ["estado"]:
            return self.reply_json(200, demo.overview())
        if self.command == "POST" and parts == ["presenca"]:
            demo.set_presence(self.json_body().get("modo"))
            return self.reply_json(200, {"online": demo.online()})
        if self.command == "POST" and len(parts) == 3 and parts[0] == "pagamentos" and parts[2] == "confirmar":
            demo.confirm_payment(parts[1])
            return self.reply_json(200, {"ok": True})
        if len(parts) >= 2 and parts[0] == "chamados" and parts[1].isdigit() and len(parts[1]) < 10:
            return self.ticket_route(int(parts[1]), parts[2:])
        raise Refusal(404, "Não encontrado.")

    def ticket_route(self, ticket_id, rest):
        demo = self.server.demo
        if self.command == "GET" and rest == []:
            return self.reply_json(200, demo.detail(ticket_id))
        if self.command == "GET" and rest == ["quadro"]:
            after = self.query.get("depois", "0")
            frame, seq = demo.frame(ticket_id, int(after) if after.isdigit() else 0)
            if frame is None:
                return self.reply(204, "application/octet-stream", b"")
            return self.reply(200, "application/octet-stream", frame, [("X-Quadro", str(seq))])
        if self.command != "POST" or len(rest) != 1:
            raise Refusal(404, "Não encontrado.")
        action = rest[0]
        data = self.json_body()
        if action == "assumir":
            name = data.get("tecnico")
            name = name.strip()[:60] if isinstance(name, str) and name.strip() else "Técnico Zivavoz"
            demo.take(ticket_id, name)
        elif action == "cancelar":
            demo.cancel(ticket_id)
        elif action == "finalizar":
            demo.finish(ticket_id)
        elif action == "mensagens":
            demo.say(ticket_id, self.text_field(data, "texto"))
            return self.reply_json(201, {"enviada": True})
        elif action == "remoto":
            return self.reply_json(201, {"pedido": demo.ask_remote(ticket_id)})
        elif action == "encerrar-remoto":
            demo.end_remote(ticket_id)
        elif action == "comandos":
            return self.reply_json(202, {"enfileirados": demo.queue_commands(ticket_id, data.get("comandos"))})
        else:
            raise Refusal(404, "Não encontrado.")
        self.reply_json(200, {"ok": True})

    def static(self, name):
        path = os.path.join(CONSOLE_DIR, name)
        with open(path, "rb") as f:
            data = f.read()
        kind = mimetypes.guess_type(name)[0] or "application/octet-stream"
        if kind.startswith("text/") or kind.endswith("javascript"):
            kind += "; charset=utf-8"
        self.reply(200, kind, data, [("X-Content-Type-Options", "nosniff")])


class DemoHttpServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False

    def __init__(self, address, handler, demo, ssl_context=None):
        self.address_family = socket.AF_INET6 if ":" in address[0] else socket.AF_INET
        self.demo = demo
        self.ssl_context = ssl_context
        super().__init__(address, handler)

    def get_request(self):
        sock, addr = self.socket.accept()
        if self.ssl_context is None:
            return sock, addr
        sock.settimeout(15)
        # The handshake runs in the connection's thread, so a stuck client cannot stall accept().
        return self.ssl_context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), addr

    def finish_request(self, request, client_address):
        if self.ssl_context is not None:
            try:
                request.do_handshake()
            except (ssl.SSLError, OSError) as e:
                sys.stderr.write("demo_server: %s: TLS handshake failed: %s\n" % (client_address[0], e))
                return
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        exc = sys.exc_info()[1]
        if isinstance(exc, (ConnectionError, TimeoutError, ssl.SSLEOFError, ssl.SSLZeroReturnError)):
            return
        super().handle_error(request, client_address)


def tls_context(cert, key):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(cert, key)
    # Schannel under Wine may take a TLS 1.3 session ticket for a renegotiation request.
    ctx.num_tickets = 0
    return ctx


def main(argv=None):
    p = argparse.ArgumentParser(description="Servidor de demonstração do suporte Zivavoz.")
    p.add_argument("--cert", required=True)
    p.add_argument("--key", required=True)
    p.add_argument("--host", default="127.0.0.1", help="address of the support API")
    p.add_argument("--api-port", type=int, default=443)
    p.add_argument("--console-host", default="127.0.0.1")
    p.add_argument("--console-port", type=int, default=8080)
    p.add_argument("--portfile", help="receives the bound ports as JSON")
    p.add_argument("--checkout-host", default="sandbox.asaas.com")
    p.add_argument("--presenca", choices=("auto", "online", "offline"), default="auto",
                   help="auto: online while a technician console is open")
    p.add_argument("--demo-email", default="demo@zivavoz.com.br")
    p.add_argument("--demo-senha", default="demo1234")
    p.add_argument("--demo-creditos", type=int, default=3)
    args = p.parse_args(argv)

    demo = Demo(args.checkout_host, args.presenca)
    if args.demo_email:
        demo.seed(args.demo_email, args.demo_senha, args.demo_creditos)
    try:
        api = DemoHttpServer((args.host, args.api_port), ApiHandler, demo, tls_context(args.cert, args.key))
        console = DemoHttpServer((args.console_host, args.console_port), ConsoleHandler, demo)
    except (OSError, ssl.SSLError) as e:
        sys.stderr.write("demo_server: não foi possível iniciar: %s\n" % e)
        return 1

    def stop(signum, frame):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    api_port, console_port = api.server_address[1], console.server_address[1]
    console_host = "[%s]" % args.console_host if ":" in args.console_host else args.console_host
    log("API do suporte em https://localhost:%d" % api_port)
    log("Console do técnico em http://%s:%d/" % (console_host, console_port))
    if args.demo_email:
        log("Conta de demonstração: %s / %s (%d créditos)" % (args.demo_email, args.demo_senha, args.demo_creditos))
    threading.Thread(target=console.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    if args.portfile:
        tmp = args.portfile + ".tmp"
        with open(tmp, "w") as f:
            json.dump({"api": api_port, "console": console_port, "pid": os.getpid()}, f)
        os.replace(tmp, args.portfile)
    try:
        api.serve_forever(poll_interval=0.2)
    except SystemExit:
        pass
    finally:
        console.shutdown()
        api.server_close()
        console.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
