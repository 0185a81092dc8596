"use strict";
// Technician console: polls the demo server's state, shows the queue and one ticket, streams the
// customer's frames into the canvas and turns clicks and keys on it into remote commands.

const $ = (id) => document.getElementById(id);
const W = 640, H = 360, GRID_X = 320, GRID_Y = 180;
const REMOTE_TEXT = {
  PENDENTE: "Aguardando o cliente aceitar",
  ACEITO: "Acesso remoto ativo",
  RECUSADO: "Recusado pelo cliente",
  ENCERRADO: "Acesso remoto encerrado",
};
const STATE_TEXT = {
  AGUARDANDO: "Na fila", EM_ATENDIMENTO: "Em atendimento", CONCLUIDO: "Concluído", CANCELADO: "Cancelado",
  PENDENTE: "Pendente", CONFIRMADO: "Confirmado",
};
// Keys that have no character of their own go as Windows virtual-key codes.
const VK = {
  Enter: 13, Backspace: 8, Tab: 9, Escape: 27, Delete: 46, Insert: 45, Home: 36, End: 35,
  PageUp: 33, PageDown: 34, ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40,
  F1: 112, F2: 113, F3: 114, F4: 115, F5: 116, F6: 117, F7: 118, F8: 119, F9: 120, F10: 121, F11: 122, F12: 123,
};

let overview = null;
let selected = 0;
let detail = null;
let clockOffset = 0;
let frameSeq = 0;
let frameRequest = "";
let shownMessages = -1;

const canvas = $("screen");
const ctx = canvas.getContext("2d");
const image = ctx.createImageData(W, H);

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function toast(text, error) {
  const t = $("toast");
  t.textContent = text;
  t.className = "toast" + (error ? " error" : "");
  clearTimeout(toast.timer);
  toast.timer = setTimeout(() => t.classList.add("hidden"), 3200);
}

async function api(method, path, body) {
  const options = { method, headers: {} };
  if (method === "POST") {
    options.headers["Content-Type"] = "application/json";
    options.body = JSON.stringify(body || {});
  }
  const r = await fetch(path, options);
  const type = r.headers.get("Content-Type") || "";
  const data = type.startsWith("application/json") ? await r.json() : null;
  if (!r.ok) throw new Error((data && data.erro) || "Erro " + r.status);
  return data;
}

async function act(method, path, body, done) {
  try {
    const data = await api(method, path, body);
    if (done) toast(done);
    await refresh();
    return data;
  } catch (e) {
    toast(e.message, true);
    return null;
  }
}

function clock(iso) {
  if (!iso) return "";
  return new Date(iso).toLocaleTimeString("pt-BR", { hour: "2-digit", minute: "2-digit" });
}

function since(iso) {
  if (!iso) return "00:00:00";
  let s = Math.max(0, Math.floor((Date.now() + clockOffset - Date.parse(iso)) / 1000));
  const h = Math.floor(s / 3600), m = Math.floor(s / 60) % 60;
  s %= 60;
  return [h, m, s].map((n) => String(n).padStart(2, "0")).join(":");
}

function money(value) {
  return "R$ " + Number(value).toFixed(2).replace(".", ",");
}

function chip(state, small) {
  return el("span", "chip " + (small ? "small " : "") + state, STATE_TEXT[state] || REMOTE_TEXT[state] || state);
}

function technician() {
  return $("tecnico").value.trim() || "Técnico Zivavoz";
}

// --- lists -----------------------------------------------------------------------------------

function fill(listId, items, render) {
  const list = $(listId);
  list.replaceChildren(...items.map(render));
  const empty = $(listId + "-vazia");
  if (empty) empty.classList.toggle("hidden", items.length > 0);
}

function ticketItem(t, side, lines) {
  const li = el("li", "item" + (t.id === selected ? " selected" : ""));
  li.append(el("span", "title", "Chamado #" + t.id));
  const s = el("div", "side");
  side.forEach((n) => s.append(n));
  li.append(s);
  [t.email].concat(lines).forEach((text) => li.append(el("span", "line", text)));
  return li;
}

function render() {
  const o = overview;
  const p = $("presence");
  p.classList.toggle("on", o.presenca.online);
  p.classList.toggle("off", !o.presenca.online);
  $("presence-text").textContent = o.presenca.online ? "Suporte online" : "Suporte offline";
  document.querySelectorAll(".segmented button").forEach((b) => b.classList.toggle("active", b.dataset.modo === o.presenca.modo));

  $("fila-count").textContent = o.fila.length;
  $("fila-count").classList.toggle("zero", !o.fila.length);
  $("ativos-count").classList.toggle("zero", !o.atendimentos.length);
  if (o.demo) {
    const d = $("demo-account");
    d.replaceChildren("Conta de demonstração: ", el("b", "", o.demo.email), " · senha ", el("b", "", o.demo.senha));
    d.classList.remove("hidden");
  }
  fill("fila", o.fila, (t) => {
    const take = el("button", "btn small", "Assumir");
    take.onclick = (ev) => { ev.stopPropagation(); take_ticket(t.id); };
    const li = ticketItem(t, [el("span", "pos", t.posicao + "º"), take],
      [t.descricao || "Sem descrição", "Esperando há " + since(t.criado_em)]);
    li.onclick = () => select(t.id);
    return li;
  });
  $("ativos-count").textContent = o.atendimentos.length;
  fill("ativos", o.atendimentos, (t) => {
    const remote = t.remoto === "ACEITO" ? [el("span", "chip small ACEITO", "Remoto")] : [];
    const li = ticketItem(t, remote,
      [t.tecnico + " · " + since(t.chamado_em)]);
    li.onclick = () => select(t.id);
    return li;
  });
  fill("pagamentos", o.pagamentos, (pay) => {
    const li = el("li", "item");
    li.append(el("span", "title", pay.creditos + (pay.creditos === 1 ? " crédito" : " créditos") + " · " + money(pay.valor)));
    const side = el("div", "side");
    if (pay.estado === "PENDENTE") {
      const b = el("button", "btn small", "Confirmar");
      b.title = "Simula a confirmação do pagamento pelo Asaas";
      b.onclick = () => act("POST", "/api/pagamentos/" + encodeURIComponent(pay.id) + "/confirmar", {}, "Pagamento confirmado: créditos adicionados.");
      side.append(b);
    } else {
      side.append(chip(pay.estado, true));
    }
    li.append(side);
    li.append(el("span", "line", pay.email + " · " + clock(pay.criado_em)));
    return li;
  });
  fill("emails", o.emails, (m) => {
    const li = el("li", "mail");
    const who = el("span", "who");
    who.append(el("b", "", m.para), el("br"), "Código de cadastro · " + clock(m.hora));
    li.append(who, el("span", "code", m.codigo));
    return li;
  });
  fill("encerrados", o.encerrados, (t) => {
    const li = el("li");
    li.append(el("b", "", "#" + t.id), " · " + t.email + " · ", chip(t.estado, true));
    li.style.cursor = "pointer";
    li.onclick = () => select(t.id);
    return li;
  });
  fill("atividade", o.atividade, (a) => {
    const li = el("li");
    li.append(el("b", "", clock(a.hora)), " " + a.texto);
    return li;
  });
}

// --- the selected ticket -----------------------------------------------------------------------

function select(id) {
  if (id !== selected) {
    selected = id;
    detail = null;
    shownMessages = -1;
    clearScreen();
  }
  refresh();
}

function clearScreen() {
  frameSeq = 0;
  frameRequest = "";
  ctx.fillStyle = "#1B1516";
  ctx.fillRect(0, 0, W, H);
}

function renderDetail() {
  const t = detail;
  $("welcome").classList.toggle("hidden", !!t);
  $("ticket").classList.toggle("hidden", !t);
  if (!t) return;
  $("t-title").textContent = "Chamado #" + t.id;
  $("t-email").textContent = t.email + " · saldo " + t.saldo + (t.saldo === 1 ? " crédito" : " créditos");
  $("t-desc").textContent = t.descricao;
  const state = $("t-state");
  state.className = "chip " + t.estado;
  state.textContent = (STATE_TEXT[t.estado] || t.estado) + (t.estado === "AGUARDANDO" ? " · " + t.posicao + "º" : "");
  const serving = t.estado === "EM_ATENDIMENTO";
  const r = t.remoto;
  const live = r && (r.estado === "PENDENTE" || r.estado === "ACEITO");
  $("b-assumir").classList.toggle("hidden", t.estado !== "AGUARDANDO");
  $("b-cancelar").classList.toggle("hidden", t.estado !== "AGUARDANDO");
  $("b-remoto").classList.toggle("hidden", !serving || live);
  $("b-encerrar").classList.toggle("hidden", !serving || !live);
  $("b-finalizar").classList.toggle("hidden", !serving);
  $("chat-text").disabled = !serving;
  $("chat-form").querySelector("button").disabled = !serving;

  const rs = $("r-state");
  rs.className = "chip small " + (r ? r.estado : "");
  rs.textContent = r ? REMOTE_TEXT[r.estado] || r.estado : "Sem acesso remoto";
  $("r-meta").textContent = r && r.quadro ? "Quadro " + r.quadro + " · " + clock(r.quadro_em) : "";
  if (r && r.pedido !== frameRequest) {
    clearScreen();
    frameRequest = r.pedido;
  }
  let overlay = "";
  if (!serving) overlay = t.estado === "AGUARDANDO" ? "Assuma o chamado para atender o cliente." : "Chamado encerrado.";
  else if (!r) overlay = "Peça acesso remoto para ver a tela do cliente.";
  else if (r.estado === "PENDENTE") overlay = "Aguardando o cliente aceitar o acesso remoto…";
  else if (r.estado === "ACEITO" && !frameSeq) overlay = "Acesso aceito. Recebendo a primeira imagem…";
  else if (r.estado === "RECUSADO") overlay = "O cliente recusou o acesso remoto.";
  else if (r.estado === "ENCERRADO") overlay = "Acesso remoto encerrado.";
  $("screen-overlay").textContent = overlay;
  $("screen-overlay").classList.toggle("hidden", !overlay);
  canvas.style.cursor = r && r.estado === "ACEITO" ? "crosshair" : "default";
  $("t-elapsed").textContent = (serving ? "em atendimento há " + since(t.chamado_em)
    : t.estado === "AGUARDANDO" ? "na fila há " + since(t.criado_em) : "encerrado às " + clock(t.encerrado_em));

  if (t.mensagens.length !== shownMessages) {
    shownMessages = t.mensagens.length;
    const box = $("messages");
    if (!t.mensagens.length) box.replaceChildren(el("p", "empty", "Nenhuma mensagem ainda."));
    else box.replaceChildren(...t.mensagens.map((m) => {
      const d = el("div", "msg " + m.autor);
      d.append(el("div", "who", (m.autor === "tecnico" ? "Você" : "Cliente") + " · " + clock(m.hora)), el("div", "bubble", m.texto));
      return d;
    }));
    box.scrollTop = box.scrollHeight;
  }
}

async function refresh() {
  try {
    overview = await api("GET", "/api/estado");
    clockOffset = Date.parse(overview.agora) - Date.now();
    if (!selected) {
      const first = overview.atendimentos[0] || overview.fila[0];
      if (first) selected = first.id;
    }
    detail = selected ? await api("GET", "/api/chamados/" + selected) : null;
  } catch (e) {
    $("presence-text").textContent = "Servidor indisponível";
    document.getElementById("presence").className = "presence off";
    return;
  }
  render();
  renderDetail();
}

function take_ticket(id) {
  selected = id;
  shownMessages = -1;
  clearScreen();
  act("POST", "/api/chamados/" + id + "/assumir", { tecnico: technician() }, "Chamado #" + id + " assumido.");
}

// --- frames ------------------------------------------------------------------------------------

function draw(buffer) {
  // 16 bits per pixel, little-endian: blue in bits 0-4, green 5-9, red 10-14.
  const px = new DataView(buffer);
  const d = image.data;
  for (let i = 0, j = 0; i < W * H; i++, j += 4) {
    const v = px.getUint16(i * 2, true);
    const r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
    d[j] = (r << 3) | (r >> 2);
    d[j + 1] = (g << 3) | (g >> 2);
    d[j + 2] = (b << 3) | (b >> 2);
    d[j + 3] = 255;
  }
  ctx.putImageData(image, 0, 0);
}

async function frameLoop() {
  for (;;) {
    let wait = 500;
    if (detail && detail.remoto && detail.remoto.estado === "ACEITO") {
      wait = 200;
      try {
        const r = await fetch("/api/chamados/" + detail.id + "/quadro?depois=" + frameSeq);
        if (r.status === 200) {
          const seq = Number(r.headers.get("X-Quadro"));
          const buffer = await r.arrayBuffer();
          if (buffer.byteLength === W * H * 2) {
            draw(buffer);
            if (!frameSeq) $("screen-overlay").classList.add("hidden");
            frameSeq = seq;
          }
        }
      } catch (e) { wait = 1000; }
    }
    await new Promise((done) => setTimeout(done, wait));
  }
}

// --- commands ----------------------------------------------------------------------------------

let outbox = [];
function send(command) {
  if (!detail || !detail.remoto || detail.remoto.estado !== "ACEITO") {
    toast("O acesso remoto não está ativo.", true);
    return;
  }
  outbox.push(command);
  // Commands typed in a burst travel together.
  if (outbox.length === 1) setTimeout(flush, 40);
}

async function flush() {
  const batch = outbox;
  outbox = [];
  if (!batch.length || !detail) return;
  try {
    await api("POST", "/api/chamados/" + detail.id + "/comandos", { comandos: batch });
  } catch (e) {
    toast(e.message, true);
  }
}

function gridPoint(ev) {
  const r = canvas.getBoundingClientRect();
  const x = Math.min(GRID_X - 1, Math.max(0, Math.floor((ev.clientX - r.left) / r.width * GRID_X)));
  const y = Math.min(GRID_Y - 1, Math.max(0, Math.floor((ev.clientY - r.top) / r.height * GRID_Y)));
  return { x, y };
}

function ping(ev) {
  const p = $("ping");
  const r = canvas.getBoundingClientRect();
  p.style.left = ev.clientX - r.left + "px";
  p.style.top = ev.clientY - r.top + "px";
  p.classList.remove("hidden");
  p.style.animation = "none";
  void p.offsetWidth;
  p.style.animation = "";
}

canvas.addEventListener("contextmenu", (ev) => ev.preventDefault());
canvas.addEventListener("mousedown", (ev) => {
  canvas.focus();
  ev.preventDefault();
  if (ev.button !== 0 && ev.button !== 2) return;
  const { x, y } = gridPoint(ev);
  ping(ev);
  send({ verbo: ev.button === 0 ? "clicar" : "direito", x, y });
});
let lastMove = 0, lastPoint = "";
canvas.addEventListener("mousemove", (ev) => {
  if (!$("seguir").checked || !detail || !detail.remoto || detail.remoto.estado !== "ACEITO") return;
  const now = Date.now();
  const { x, y } = gridPoint(ev);
  if (now - lastMove < 150 || lastPoint === x + "," + y) return;
  lastMove = now;
  lastPoint = x + "," + y;
  send({ verbo: "mover", x, y });
});
canvas.addEventListener("keydown", (ev) => {
  if (ev.ctrlKey || ev.metaKey || ev.altKey) return;
  if (ev.key.length === 1) send({ verbo: "texto", texto: ev.key });
  else if (VK[ev.key]) send({ verbo: "tecla", codigo: VK[ev.key] });
  else return;
  ev.preventDefault();
});

$("type-form").addEventListener("submit", (ev) => {
  ev.preventDefault();
  const text = $("type-text").value;
  if (!text) return;
  send({ verbo: "texto", texto: text });
  $("type-text").value = "";
});
document.querySelectorAll("[data-vk]").forEach((b) => {
  b.onclick = () => send({ verbo: "tecla", codigo: Number(b.dataset.vk) });
});

// --- buttons -----------------------------------------------------------------------------------

$("chat-form").addEventListener("submit", async (ev) => {
  ev.preventDefault();
  const input = $("chat-text");
  if (!input.value || !detail) return;
  const text = input.value;
  input.value = "";
  if (await act("POST", "/api/chamados/" + detail.id + "/mensagens", { texto: text }) === null) input.value = text;
});
$("b-assumir").onclick = () => take_ticket(detail.id);
$("b-cancelar").onclick = () => act("POST", "/api/chamados/" + detail.id + "/cancelar", {}, "Chamado cancelado; crédito devolvido.");
$("b-remoto").onclick = () => act("POST", "/api/chamados/" + detail.id + "/remoto", {}, "Pedido de acesso remoto enviado ao cliente.");
$("b-encerrar").onclick = () => act("POST", "/api/chamados/" + detail.id + "/encerrar-remoto", {}, "Acesso remoto encerrado.");
$("b-finalizar").onclick = () => {
  if (confirm("Finalizar o chamado #" + detail.id + "? A conversa será encerrada para você e para o cliente."))
    act("POST", "/api/chamados/" + detail.id + "/finalizar", {}, "Chamado finalizado.");
};
document.querySelectorAll(".segmented button").forEach((b) => {
  b.onclick = () => act("POST", "/api/presenca", { modo: b.dataset.modo });
});
$("tecnico").value = localStorage.getItem("zivavoz.tecnico") || "Marina Souza";
$("tecnico").addEventListener("change", () => localStorage.setItem("zivavoz.tecnico", technician()));

clearScreen();
refresh();
setInterval(refresh, 1000);
frameLoop();
