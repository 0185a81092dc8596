"""A whole attendance in the real window against the fake server: sign in, request support, wait in
the queue, the session view counting, closing it after the question, and the history card."""

import datetime
import json
import os

from conftest import (SCREENSHOTS, TITLE, click, client_origin, geometry, key, pixels, probe, screenshot, showing,
                      showing_prefix, texts, type_text, wait_for, wait_painted)

QUEUE = "/suporte/avulso/api/conta/atendimento"


def iso(seconds_ago):
    """The time as Brasília writes it, with its offset."""
    zone = datetime.timezone(datetime.timedelta(hours=-3))
    t = datetime.datetime.now(zone) - datetime.timedelta(seconds=seconds_ago)
    return t.strftime("%Y-%m-%dT%H:%M:%S") + "-03:00"


def history(path):
    """The pixels of the home tab's last-ticket line."""
    ox, oy = client_origin()
    return pixels(screenshot(str(path), ox + 122, oy + 303, 410, 18))


def answer(fake, method, path, status, obj, count=None, delay_ms=0):
    fake.script(method, path, status, [("Content-Type", "application/json")], json.dumps(obj),
                count=count, delay_ms=delay_ms)


def test_sign_in_queue_session_close_and_history(launch, fake, tmp_path):
    answer(fake, "GET", "/suporte/avulso/api/presenca", 200, {"online": 1})
    answer(fake, "POST", "/suporte/avulso/api/conta/login", 200, {"token": "tok-e2e"})
    answer(fake, "GET", QUEUE, 200, {"id": 0, "saldo": 2})
    program = launch()
    window_id = program.window()
    assert window_id
    assert wait_painted(window_id), "the window was never painted"
    assert wait_for(lambda: probe("focus", TITLE).startswith("Edit"), 10)
    type_text("ana@exemplo.com")
    key("Tab")
    type_text("segredo1")
    key("Return")
    assert wait_for(lambda: showing("Cada atendimento utiliza 1 crédito."), 10), texts()
    history_line = history(tmp_path / "history-before.png")

    # Request support with a double click on a slow server: the second click came while the request
    # ran and must not land on "Cancelar chamado". The queue answers with the position and the
    # creation time.
    answer(fake, "POST", QUEUE, 201, {"id": 77, "status": "AGUARDANDO"}, delay_ms=500)
    answer(fake, "GET", QUEUE, 200, {"id": 77, "saldo": 2, "status": "AGUARDANDO", "posicao": 2,
                                     "criado_em": iso(65)})
    click(122 + 122, 238 + 10, times=2)
    assert wait_for(lambda: showing("Posição na fila: 2"), 10), texts()
    assert wait_for(lambda: showing("Cancelar chamado"), 5)
    waited = wait_for(lambda: showing_prefix("Tempo de espera: 00:01:"), 5)
    assert waited, texts()
    x, y, w, h = geometry(window_id)
    screenshot(os.path.join(SCREENSHOTS, "fila.png"), x, y, w, h)
    posts = [(r["path"], r["body"]) for r in fake.log() if r["method"] == "POST"]
    assert posts == [("/suporte/avulso/api/conta/login", b'{"email":"ana@exemplo.com","senha":"segredo1"}'),
                     (QUEUE, b'{"descricao":""}')], posts

    # A technician takes it: the session view, counting from the service start, and the conversation.
    fake.script("GET", "/suporte/api/chat/cliente?formato=texto", 200, [("Content-Type", "text/plain")],
                "HALVOREN-CHAT/1 77\nTécnico: Olá! Sou a Bia, vou ajudar com a impressora.\n"
                "Cliente: Ela não imprime desde ontem.\nTécnico: Vou pedir acesso remoto para olhar.\n")
    answer(fake, "GET", QUEUE, 200, {"id": 77, "saldo": 1, "status": "EM_ATENDIMENTO",
                                     "chamado_em": iso(125)})
    assert wait_for(lambda: showing("Chamado #77"), 10), texts()
    assert wait_for(lambda: showing_prefix("Tempo: 00:02:"), 5), texts()
    assert wait_for(lambda: geometry(window_id)[3] == 378, 5)
    assert wait_for(lambda: not showing_prefix("Chat ") and not showing_prefix("O chat "), 5), texts()
    first = showing_prefix("Tempo: ")
    assert wait_for(lambda: showing_prefix("Tempo: ") != first, 3), "the count does not advance"
    x, y, w, h = geometry(window_id)
    screenshot(os.path.join(SCREENSHOTS, "atendimento.png"), x, y, w, h)

    # "Desconectar" asks first; No is the default, so Yes is chosen on purpose.
    answer(fake, "POST", "/suporte/api/finalizar/cliente", 200, {})
    click(341 + 93, 66 + 17)
    box = program.window("Desconectar", timeout=10)
    assert box, "no question"
    bx, by, bw, bh = geometry(box)
    screenshot(str(tmp_path / "pergunta.png"), bx, by, bw, bh)
    answer(fake, "GET", QUEUE, 200, {"id": 77, "saldo": 1, "status": "CONCLUIDO"})
    key("shift+Tab")
    key("space")
    assert wait_for(lambda: geometry(window_id)[3] == 404, 10)
    assert wait_for(lambda: showing("Atendimento finalizado."), 5), texts()
    # The history card now names the ticket instead of "Nenhum chamado encerrado disponível."
    assert wait_for(lambda: history(tmp_path / "history-after.png") != history_line, 5)
    closes = [r for r in fake.log() if r["path"] == "/suporte/api/finalizar/cliente"]
    assert len(closes) == 1
    assert closes[0]["body"] == b"csrf=tok-e2e&chamado=77"
    x, y, w, h = geometry(window_id)
    screenshot(os.path.join(SCREENSHOTS, "historico.png"), x, y, w, h)

    key("alt+F4")
    assert program.wait() == 0
