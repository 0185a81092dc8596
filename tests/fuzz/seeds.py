#!/usr/bin/python3
"""Writes the seed answers of the fuzz corpus into tests/fuzz/corpus/ as seed-NAME files: an answer of
every kind the program reads (accounts, queue and presence, chat, the remote status line and command
lines, values that go into forms), most of them rows of the native tables. The corpus also keeps what
fuzz runs found worth keeping (files named by their SHA-1, from `readers_fuzz -merge=1`).

    tests/fuzz/seeds.py
"""

import os

HERE = os.path.dirname(os.path.abspath(__file__))

TECH, CUST = "Técnico: ", "Cliente: "
CHAT = "HALVOREN-CHAT/1 123\n"

SEEDS = {
    # Accounts: sign-in, registration, the checkout link.
    "token": '{"token":"tok-1"}',
    "token-spaced": '{"token" : "abc", "outro": 1}',
    "token-63": '{"token":"' + "t" * 63 + '"}',
    "token-64": '{"token":"' + "t" * 64 + '"}',
    "token-null": '{"token":null}',
    "token-empty": '{"token":""}',
    "token-unprintable": '{"token":"a\x01b"}',
    "token-unterminated": '{"token":"abc',
    "token-next-line": '{"token":\n"abc"}',
    "challenge": '{"desafio":"d-1","expira":600}',
    "link": '{"link":"https://sandbox.asaas.com/c/abc123"}',
    "escaped-quote": '{"token":"ab\\"cd"}',
    # Queue and presence.
    "queue-waiting": '{"id":42,"saldo":3,"estado":"AGUARDANDO","posicao":2,"criado_em":"2024-05-01T12:00:00-03:00"}',
    "queue-service": '{"id":42,"saldo":2,"estado":"EM_ATENDIMENTO","chamado_em":"2024-05-01T12:05:00.250+05:30"}',
    "queue-done": '{"id":41,"saldo":2,"estado":"CONCLUIDO"}',
    "queue-both": '{"id":41,"saldo":2,"estado":"CONCLUIDO","antes":"CANCELADO"}',
    "queue-idle": '{"saldo":0}',
    "queue-negative": '{"id":-3,"saldo":"12","posicao":\t4}',
    "queue-huge": '{"id":12345678901,"saldo":99999999999,"posicao":1234567890}',
    "time-zone-short": '{"estado":"AGUARDANDO","criado_em":"2024-12-31T23:00:00-0300"}',
    "time-zone-hours": '{"estado":"AGUARDANDO","criado_em":"2024-05-01T01:00:00+02"}',
    "time-leap": '{"estado":"AGUARDANDO","criado_em":"2024-02-29T00:00:00.5Z"}',
    "time-impossible": '{"estado":"AGUARDANDO","criado_em":"2023-02-29T12:00:00"}',
    "time-first": '{"estado":"AGUARDANDO","criado_em":"1601-01-01T00:00:01"}',
    "time-cut": '{"estado":"AGUARDANDO","criado_em":"2024-05-01T12:00"}',
    "time-sign-last": '{"estado":"EM_ATENDIMENTO","chamado_em":"2024-05-01T12:00:00+',
    "time-fraction-last": '{"estado":"EM_ATENDIMENTO","chamado_em":"2024-05-01T12:00:00.',
    "presence-online": '{"online":1}',
    "presence-true": '{"online":true}',
    "presence-offline": '{"online": 0}',
    # Chat.
    "chat-two": CHAT + TECH + "Olá\n" + CUST + "Oi\n",
    "chat-lines": CHAT + CUST + "primeira linha\nsegunda sem prefixo\n" + TECH + "ok",
    "chat-long-word": CHAT + CUST + "x" * 300 + "\n",
    "chat-seven-lines": CHAT + TECH + "\n".join("linha %d" % i for i in range(7)) + "\n",
    "chat-no-prefix": CHAT + "sem prefixo\n" + TECH + "\n",
    "chat-other-ticket": "HALVOREN-CHAT/1 124\n" + TECH + "Olá\n",
    "chat-bad-id": "HALVOREN-CHAT/1 12a\n" + TECH + "Olá\n",
    "chat-empty": CHAT,
    "chat-emoji-edge": CHAT + CUST + "a" * 109 + "\U0001F600" + "b" * 5 + "\n",
    "chat-banner-late": " " + CHAT + TECH + "Olá\n",
    "chat-nine-digits": "HALVOREN-CHAT/1 999999999\n" + TECH + "Olá\n",
    "chat-crlf": CHAT + TECH + "Olá\r\n" + CUST + "Oi\r\n",
    # Longer than the answer buffer holds (cut at 524,287 bytes) and than the kept copy of the last
    # conversation (known by its length and hash instead); only a replay runs it whole.
    "chat-longest": CHAT + (TECH + "uma mensagem de suporte bem comprida " * 3 + "\n" + CUST + "ok\n") * 4600,
    # The remote status line.
    "status-pending": "HALVOREN-REMOTE/1 PENDENTE p-1",
    "status-pending-named": "HALVOREN-REMOTE/1 PENDENTE p-1\nRafael Souza",
    "status-accepted-crlf": "HALVOREN-REMOTE/1 ACEITO p-2\r\nAna Lima",
    "status-long": "HALVOREN-REMOTE/1 ABCDEFGHIJKLMNOPQRSTU 0123456789012345678901234567890123456789xyz\nB",
    "status-no-space": "HALVOREN-REMOTE/1 PENDENTE",
    "status-other": "HALVOREN-REMOTE/1 ENCERRADO q&1\n",
    # Command lines of a frame upload's answer.
    "commands": "mover 0 0\nclicar 319 179\ndireito 10 20\ntexto 233 0\ntecla 13 0\n",
    "commands-crlf": "mover 1 2\r\ntexto 65 0\n",
    "commands-last-open": "texto 65 0\ntecla 13 0",
    "commands-long-verb": "abcdefghijkl 1 2\nmover 1 1\n",
    "commands-long-number": "mover 12345678901 1\nmover 123456789012 1\n",
    "commands-big": "texto 99999999999 0\ntexto +5 0\ntecla 00000000013 0\nclicar 65536 x12\n",
    "commands-empty-verb": " 1 2\n",
    # Values typed into forms and members.
    "form-value": "a b~c&d=e.f-g_h/ç\x01\x7f\xff\"\\\t\r\n",
}


def main():
    corpus = os.path.join(HERE, "corpus")
    os.makedirs(corpus, exist_ok=True)
    for name, text in SEEDS.items():
        with open(os.path.join(corpus, "seed-" + name), "wb") as f:
            f.write(text.encode("utf-8", "surrogatepass"))


if __name__ == "__main__":
    main()
