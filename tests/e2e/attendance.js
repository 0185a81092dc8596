"use strict";
// A whole attendance against the demo server, started as a newcomer starts it on a machine without a
// display: ./run-demo.sh, whose two printed addresses are opened in headless Chromium. The client is
// signed in through the noVNC page and driven with xdotool after that; the technician console is
// driven with Playwright. tests/demo_e2e.sh sets it up.
// Env: WINEPREFIX (the run's prefix), HALVOREN_BUILD (the localhost build), HALVOREN_RUN (this run's
// folder), HALVOREN_SHOTS (where the screenshots go).

const { chromium } = require("playwright-core");
const { execFileSync, spawn } = require("child_process");
const fs = require("fs");
const https = require("https");
const path = require("path");

const TITLE = "Halvoren Rezovi v48 - Teste";
const TOP = path.resolve(__dirname, "..", "..");
const BUILD = process.env.HALVOREN_BUILD;
const RUN = process.env.HALVOREN_RUN;
const SHOTS = process.env.HALVOREN_SHOTS;
// Known once run-demo.sh has made its certificates and printed its addresses.
let CA, CONSOLE, NOVNC;
const OPENED = path.join(RUN, "opened.txt");
const DEMO = { email: "demo@zivavoz.com.br", senha: "demo1234" };
const [SCREEN_W, SCREEN_H] = (process.env.HALVOREN_SCREEN || "1280x800").split("x").map(Number);

const started = Date.now();
function note(text) {
  console.log("[%s s] %s", ((Date.now() - started) / 1000).toFixed(1), text);
}

// --- waiting and processes ---------------------------------------------------------------------

let demoExit; // run-demo.sh's exit code once it has ended
const pause = (ms) => new Promise((done) => setTimeout(done, ms));

async function until(what, predicate, timeout = 20000, step = 200) {
  const end = Date.now() + timeout;
  let last;
  while (Date.now() < end) {
    if (demoExit !== undefined) throw new Error("run-demo.sh ended with " + demoExit + " while waiting for " + what);
    try {
      last = await predicate();
      if (last) return last;
    } catch (e) {
      last = e.message;
    }
    await pause(step);
  }
  throw new Error("timed out waiting for " + what + (last ? " (last: " + String(last).slice(0, 300) + ")" : ""));
}

function run(cmd, args, options = {}) {
  return execFileSync(cmd, args, { encoding: options.encoding || "utf8", timeout: 30000, maxBuffer: 64 << 20,
                                   stdio: ["ignore", "pipe", "ignore"] });
}

function probe(...args) {
  try {
    return run("wine", [path.join(BUILD, "tests", "probe.exe"), ...args]).trim();
  } catch (e) {
    return (e.stdout || "").trim();
  }
}

// Every child control of the main window as {id, visible, text}.
function controls() {
  return probe("texts", TITLE).split("\n").filter((l) => l).map((line) => {
    const [id, visible, , ...rest] = line.replace(/\r$/, "").split(" ");
    return { id: Number(id), visible: visible === "visible", text: rest.join(" ") };
  });
}

const showing = (text) => controls().some((c) => c.visible && c.text === text);
const showingPrefix = (prefix) => {
  const found = controls().find((c) => c.visible && c.text.startsWith(prefix));
  return found ? found.text : null;
};
const visibleId = (id) => controls().some((c) => c.visible && c.id === id);

function findWindow(title) {
  try {
    return run("xdotool", ["search", "--onlyvisible", "--name", "^" + title.replace(/[?]/g, "\\?") + "$"])
      .split("\n").filter((l) => l)[0] || null;
  } catch (e) {
    return null;
  }
}

function geometry(id) {
  const values = {};
  for (const line of run("xdotool", ["getwindowgeometry", "--shell", id]).split("\n")) {
    const [k, v] = line.split("=");
    if (v !== undefined) values[k] = Number(v);
  }
  return { x: values.X, y: values.Y, w: values.WIDTH, h: values.HEIGHT };
}

function origin(title = TITLE) {
  const [x, y] = probe("origin", title).split(/\s+/).map(Number);
  if (!Number.isFinite(x) || !Number.isFinite(y)) throw new Error("no window " + title);
  return { x, y };
}

// Raw RGB bytes of a rectangle of the X screen.
function grab(x, y, w, h) {
  return run("import", ["-window", "root", "-crop", `${w}x${h}+${x}+${y}`, "+repage", "-depth", "8", "rgb:-"],
             { encoding: "buffer" });
}

// Share of the pixels of a rectangle that are not near white (text, pictures, borders).
function inked(x, y, w, h) {
  const data = grab(x, y, w, h);
  let dark = 0;
  for (let i = 0; i < data.length; i += 3) if (data[i] + data[i + 1] + data[i + 2] < 600) dark++;
  return dark / (data.length / 3);
}

// Share of the pixels that are not black: a mapped window may stay black for a while on a busy machine.
function lit(x, y, w, h) {
  const data = grab(x, y, w, h);
  let on = 0;
  for (let i = 0; i < data.length; i += 3) if (data[i] + data[i + 1] + data[i + 2] > 60) on++;
  return on / (data.length / 3);
}

// How many pixels of raw RGB bytes (`step` bytes a pixel) have the remote bar's red, #BD1120.
function reddish(data, step) {
  let n = 0;
  for (let i = 0; i < data.length; i += step) if (data[i] > 150 && data[i + 1] < 60 && data[i + 2] < 70) n++;
  return n;
}

// A rectangle of the client area, in client coordinates.
function clientArea(x, y, w, h) {
  const o = origin();
  return grab(o.x + x, o.y + y, w, h);
}

function shootClient(name, title = TITLE) {
  const id = findWindow(title);
  if (!id) throw new Error("no window to photograph: " + title);
  const g = geometry(id);
  run("import", ["-window", "root", "-crop", `${g.w}x${g.h}+${g.x}+${g.y}`, "+repage", path.join(SHOTS, name + ".png")]);
}

function click(x, y, title = TITLE) {
  const o = origin(title);
  run("xdotool", ["mousemove", String(o.x + x), String(o.y + y), "click", "1"]);
}

const key = (...keys) => run("xdotool", ["key", ...keys]);
const type = (text) => run("xdotool", ["type", "--delay", "40", text]);

function pointer() {
  const out = run("xdotool", ["getmouselocation", "--shell"]);
  const v = Object.fromEntries(out.split("\n").filter((l) => l.includes("=")).map((l) => l.split("=")));
  return { x: Number(v.X), y: Number(v.Y) };
}

// --- the demo server -------------------------------------------------------------------------

// The support API as a customer's program calls it.
function api(method, route, body, token) {
  return new Promise((resolve, reject) => {
    const data = body === undefined ? null : Buffer.from(typeof body === "string" ? body : JSON.stringify(body));
    const headers = {};
    if (token) headers.Authorization = "Bearer " + token;
    if (data) {
      headers["Content-Type"] = typeof body === "string" ? "application/x-www-form-urlencoded" : "application/json";
      headers["Content-Length"] = data.length;
    }
    const req = https.request({ host: "localhost", port: 443, method, path: route, ca: CA, headers, timeout: 10000 },
      (res) => {
        const parts = [];
        res.on("data", (c) => parts.push(c));
        res.on("end", () => {
          const text = Buffer.concat(parts).toString("utf8");
          let json = null;
          try { json = JSON.parse(text); } catch (e) { /* text answers */ }
          resolve({ status: res.statusCode, json, text });
        });
      });
    req.on("timeout", () => req.destroy(new Error("timeout")));
    req.on("error", reject);
    if (data) req.write(data);
    req.end();
  });
}

async function consoleApi(method, route, body) {
  const r = await fetch(CONSOLE + route, method === "POST"
    ? { method, headers: { "Content-Type": "application/json" }, body: JSON.stringify(body || {}) } : {});
  return { status: r.status, json: await r.json() };
}

const overview = async () => (await consoleApi("GET", "/api/estado")).json;
const ticketDetail = async (id) => (await consoleApi("GET", "/api/chamados/" + id)).json;

// A customer of the API only: registers, confirms the e-mailed code, signs in and buys one credit.
async function apiCustomer(email) {
  const reg = await api("POST", "/suporte/avulso/api/conta/cadastro",
                        { email, senha: "segredo-123", confirmacao: "segredo-123" });
  if (reg.status !== 202) throw new Error("registration of " + email + ": " + reg.status + " " + reg.text);
  const mail = (await overview()).emails.find((m) => m.para === email);
  const conf = await api("POST", "/suporte/avulso/api/conta/cadastro/confirmar",
                         { desafio: reg.json.desafio, codigo: mail.codigo });
  if (conf.status !== 200) throw new Error("confirmation of " + email + ": " + conf.status);
  const login = await api("POST", "/suporte/avulso/api/conta/login", { email, senha: "segredo-123" });
  const token = login.json.token;
  const pay = await api("POST", "/suporte/avulso/api/conta/pagamentos", { creditos: 1 }, token);
  await consoleApi("POST", "/api/pagamentos/" + pay.json.pagamento + "/confirmar");
  return token;
}

const queueOf = async (token) => (await api("GET", "/suporte/avulso/api/conta/atendimento", undefined, token)).json;

// --- the attendance --------------------------------------------------------------------------

async function main() {
  fs.mkdirSync(SHOTS, { recursive: true });
  fs.rmSync(OPENED, { force: true });
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    // The closed network refuses every call home; the sandbox needs a user namespace we do not give it.
    args: ["--no-sandbox", "--disable-background-networking", "--disable-component-update", "--disable-sync",
           "--disable-default-apps", "--disable-extensions", "--no-first-run", "--disable-domain-reliability",
           "--disable-client-side-phishing-detection", "--metrics-recording-only", "--disable-breakpad"],
  });
  let demo = null, exited;
  try {
    // 1. Start-up: ./run-demo.sh on this display-less machine, its addresses, the sign-in card.
    const log = fs.openSync(path.join(RUN, "run-demo.log"), "w");
    demo = spawn(path.join(TOP, "run-demo.sh"), [], { stdio: ["ignore", "pipe", log],
      env: { ...process.env, HALVOREN_DEMO_BUILD: BUILD, HALVOREN_DEMO_RUN: RUN,
             HALVOREN_OPENED: "Z:" + OPENED.replace(/\//g, "\\") } });
    let printed = "";
    demo.stdout.on("data", (d) => { printed += d; fs.writeSync(log, d); });
    exited = new Promise((done) => demo.on("exit", (code, signal) => {
      demoExit = code === null ? signal : code;
      done(demoExit);
    }));
    const printedAs = (what, pattern) => until(what, () => (printed.match(pattern) || [])[1], 120000);
    CONSOLE = await printedAs("the console's address", /Console do técnico: +(http:\S+?)\/?\n/);
    NOVNC = await printedAs("the program's screen address", /Tela do programa: +(http:\S+)\n/);
    process.env.DISPLAY = await printedAs("the private display", /on the private display (:\d+)\n/);
    CA = fs.readFileSync(path.join(RUN, "ca.crt"));
    const page = await browser.newPage({ viewport: { width: 1360, height: 900 } });
    const errors = [];
    page.on("pageerror", (e) => errors.push(e.message));
    await page.goto(CONSOLE + "/");
    await page.locator("#presence-text", { hasText: "Suporte online" }).waitFor({ timeout: 10000 });
    const shootConsole = (name) => page.screenshot({ path: path.join(SHOTS, name + ".png") });
    const win = await until("the main window", () => findWindow(TITLE), 30000);
    await until("the window's picture", () => {
      const g = geometry(win);
      return lit(g.x, g.y, g.w, g.h) > 0.6;
    }, 20000, 300);
    await until("the focus in the e-mail field", () => probe("focus", TITLE).startsWith("Edit"), 10000);
    await until("the e-mail field painted", () => lit(origin().x + 131, origin().y + 218, 392, 19) > 0.9, 10000);
    shootClient("01-cliente-inicio");
    shootConsole("01-console-inicio");
    note("start-up");

    // 2. Sign in with the seeded demo account, through the noVNC page in a second tab.
    const screen = await browser.newPage({ viewport: { width: 1360, height: 900 } });
    screen.on("pageerror", (e) => errors.push("noVNC: " + e.message));
    await screen.goto(NOVNC);
    const canvas = screen.locator("#noVNC_container canvas");
    // Once connected, the page's canvas holds the whole X screen pixel for pixel, however large it is
    // shown: the client's window must be lit in it. From the moment it is, a click on the e-mail field
    // must reach the screen: noVNC 1.6 fades its "Connecting..." screen out over the drawn one, which
    // takes the click and the keyboard focus (run-demo.sh serves the page without the fade).
    const field = { x: origin().x + 131 + 196, y: origin().y + 218 + 9 };
    const onTop = await until("the client's window in the noVNC page", () => canvas.evaluate((c, [sw, sh, g, p]) => {
      if (c.width !== sw || c.height !== sh) return false;
      const all = c.getContext("2d").getImageData(g.x, g.y, g.w, g.h).data;
      let on = 0;
      for (let i = 0; i < all.length; i += 4) if (all[i] + all[i + 1] + all[i + 2] > 60) on++;
      if (on / (g.w * g.h) <= 0.6) return false;
      const r = c.getBoundingClientRect();
      const top = document.elementFromPoint(r.left + (p.x + 0.5) * r.width / sw, r.top + (p.y + 0.5) * r.height / sh);
      return top === c ? "the screen" : top ? top.tagName + "#" + top.id : "nothing";
    }, [SCREEN_W, SCREEN_H, geometry(win), field]), 20000, 50);
    if (onTop !== "the screen") throw new Error("the noVNC page shows the client's window under " + onTop);
    await screen.screenshot({ path: path.join(SHOTS, "01-navegador-cliente.png") });
    const clickInPage = async (x, y) => {
      const o = origin(), box = await canvas.boundingBox();
      await screen.mouse.click(box.x + (o.x + x + 0.5) * box.width / SCREEN_W,
                               box.y + (o.y + y + 0.5) * box.height / SCREEN_H);
    };
    // Keys typed while the window is still taking the focus can be lost: each field is clicked
    // and emptied first, and a second try follows a lost one (after the warning an empty field brings).
    for (let attempt = 1; ; attempt++) {
      for (const [x, y, text] of [[131 + 196, 218 + 9, DEMO.email], [131 + 163, 263 + 9, DEMO.senha]]) {
        await clickInPage(x, y);
        await screen.keyboard.press("End");
        for (let i = 0; i < 60; i++) await screen.keyboard.press("Backspace");
        await screen.keyboard.type(text, { delay: 40 });
      }
      await screen.keyboard.press("Enter");
      try {
        await until("the signed-in home", () => showing("Cada atendimento utiliza 1 crédito."), 10000);
        break;
      } catch (e) {
        if (attempt === 2) throw e;
        note("the sign-in was lost; trying again");
        if (findWindow("Halvoren Zivavoz")) key("Return");
        await until("the warning closed", () => !findWindow("Halvoren Zivavoz"), 5000);
      }
    }
    await page.locator("#atividade", { hasText: "Entrada na conta: " + DEMO.email }).waitFor({ timeout: 5000 });
    shootClient("02-cliente-conectado");
    await screen.close();
    note("signed in");

    // Buy a credit: the checkout link goes to the browser; the console confirms the payment.
    click(49, 90);
    await until("the credits tab", () => visibleId(33), 5000);
    const balanceArea = [420, 31, 122, 15];
    await until("the balance painted", () => inked(origin().x + 420, origin().y + 31, 122, 15) > 0.02, 5000);
    const before = clientArea(...balanceArea);
    click(116 + 65, 192 + 13);
    const link = await until("the checkout link handed to the browser", () => {
      const text = fs.existsSync(OPENED) ? fs.readFileSync(OPENED, "utf8") : "";
      return text.endsWith("\n") && text.trim();
    }, 15000);
    const payment = await until("the payment in the console", async () =>
      (await overview()).pagamentos.find((p) => p.email === DEMO.email && p.estado === "PENDENTE"), 5000);
    if (link !== payment.link || !link.startsWith("https://sandbox.asaas.com/checkoutSession/show?id="))
      throw new Error("the browser got " + link + ", the server made " + payment.link);
    const confirm = page.locator("#pagamentos li", { hasText: "1 crédito" }).getByRole("button", { name: "Confirmar" });
    await confirm.waitFor({ timeout: 5000 });
    await shootConsole("03-console-pagamento");
    await confirm.click();
    await until("the balance of 4 credits on the server", async () =>
      (await overview()).contas.find((a) => a.email === DEMO.email).saldo === 4, 5000);
    await until("the balance repainted in the client", () => !clientArea(...balanceArea).equals(before), 10000);
    shootClient("03-cliente-creditos");
    note("credits bought");

    // 3. Two other customers queue first; the client's ticket is third, then second once one gives up.
    const first = await apiCustomer("primeira@exemplo.com");
    const second = await apiCustomer("segunda@exemplo.com");
    for (const token of [first, second]) {
      const r = await api("POST", "/suporte/avulso/api/conta/atendimento", { descricao: "Fila" }, token);
      if (r.status !== 201) throw new Error("a queued ticket: " + r.status + " " + r.text);
    }
    click(49, 64);
    await until("the home tab", () => showing("Solicitar suporte"), 5000);
    click(122 + 122, 238 + 10);
    await until("the third place in the queue", () => showing("Posição na fila: 3"), 15000);
    await until("the cancel caption", () => showing("Cancelar chamado"), 5000);
    await until("the waiting time", () => showingPrefix("Tempo de espera: "), 5000);
    const positions = [(await queueOf(first)).posicao, (await queueOf(second)).posicao];
    if (positions.join() !== "1,2") throw new Error("the other customers' positions: " + positions);
    const ticket = (await overview()).fila.find((t) => t.email === DEMO.email);
    if (!ticket || ticket.posicao !== 3) throw new Error("the console's queue: " + JSON.stringify(ticket));
    await page.locator("#fila-count", { hasText: "3" }).waitFor({ timeout: 5000 });
    shootClient("04-cliente-fila");
    await shootConsole("04-console-fila");
    const gaveUp = await api("POST", "/suporte/avulso/api/conta/atendimento/cancelar",
                             { id: (await queueOf(first)).id }, first);
    if (gaveUp.status !== 200) throw new Error("a cancellation: " + gaveUp.status);
    await until("the second place in the queue", () => showing("Posição na fila: 2"), 10000);
    if ((await queueOf(second)).posicao !== 1) throw new Error("the first in line did not move up");
    note("queued");

    // 4. The technician takes the client's ticket, though it is not the first in line.
    await page.locator("#fila li", { hasText: "Chamado #" + ticket.id }).getByRole("button", { name: "Assumir" }).click();
    await until("the session view", () => showing("Chamado #" + ticket.id), 10000);
    await until("the elapsed time", () => showingPrefix("Tempo: 00:00:"), 5000);
    await until("the session window size", () => geometry(win).h < 404 + 40 && visibleId(7), 5000);
    await page.locator("#t-state", { hasText: "Em atendimento" }).waitFor({ timeout: 5000 });
    if ((await queueOf(second)).posicao !== 1) throw new Error("taking a ticket moved the one before it");
    shootClient("05-cliente-atendimento");
    await shootConsole("05-console-atendimento");
    note("taken");

    // 5. Chat both ways.
    const chatArea = [24, 154, 503, 142];
    const chatInk = () => inked(origin().x + 24, origin().y + 154, 503, 142);
    await until("the empty conversation", () => chatInk() < 0.002, 5000);
    await page.fill("#chat-text", "Olá! Sou a Marina. Como posso ajudar?");
    await page.press("#chat-text", "Enter");
    await until("the technician's message in the client", () => chatInk() > 0.005, 10000);
    const withTechnician = clientArea(...chatArea);
    click(33 + 190, 309 + 12);
    type("Minha impressora não imprime.");
    key("Return");
    await page.locator("#messages .msg.cliente", { hasText: "Minha impressora não imprime." }).waitFor({ timeout: 10000 });
    const said = (await ticketDetail(ticket.id)).mensagens.map((m) => m.autor + ":" + m.texto);
    if (said.join("|") !== "tecnico:Olá! Sou a Marina. Como posso ajudar?|cliente:Minha impressora não imprime.")
      throw new Error("the conversation on the server: " + said.join("|"));
    await until("the customer's own message in the client", () => !clientArea(...chatArea).equals(withTechnician), 10000);
    shootClient("06-cliente-chat");
    await shootConsole("06-console-chat");
    note("chat");

    // 6. Remote access: the consent dialog, then frames in the console.
    await page.click("#b-remoto");
    const consent = await until("the consent dialog", () => findWindow("Permitir acesso remoto?"), 10000);
    await page.locator("#r-state", { hasText: "Aguardando o cliente aceitar" }).waitFor({ timeout: 5000 });
    {
      const g = geometry(consent), m = geometry(win);
      const x = Math.min(g.x, m.x), y = Math.min(g.y, m.y);
      const w = Math.max(g.x + g.w, m.x + m.w) - x, h = Math.max(g.y + g.h, m.y + m.h) - y;
      run("import", ["-window", "root", "-crop", `${w}x${h}+${x}+${y}`, "+repage", path.join(SHOTS, "07-cliente-consentimento.png")]);
    }
    click(18 + 75, 85 + 16, "Permitir acesso remoto?");
    await until("the dialog gone", () => !findWindow("Permitir acesso remoto?"), 10000);
    await until("the remote disconnect button", () => showing("Desconectar remoto"), 10000);
    await page.locator("#r-state", { hasText: "Acesso remoto ativo" }).waitFor({ timeout: 10000 });
    // The frame is the whole screen at 640 x 360: the client window bright, the bare Xvfb root black.
    const m = geometry(win);
    const sx = 640 / SCREEN_W, sy = 360 / SCREEN_H;
    const inside = { x: Math.round((m.x + m.w / 2) * sx), y: Math.round((m.y + m.h / 2) * sy) };
    const outside = { x: Math.round(((m.x + m.w + SCREEN_W) / 2) * sx), y: Math.round(((m.y + m.h + SCREEN_H) / 2) * sy) };
    const frame = await until("a frame of the client's screen in the canvas", async () => {
      const f = await page.evaluate(([a, b]) => {
        const c = document.getElementById("screen").getContext("2d");
        const all = c.getImageData(0, 0, 640, 360).data;
        let lit = 0;
        for (let i = 0; i < all.length; i += 4) if (all[i] + all[i + 1] + all[i + 2] > 600) lit++;
        const at = (p) => Array.from(c.getImageData(p.x, p.y, 1, 1).data.slice(0, 3));
        return { lit: lit / (640 * 360), inside: at(a), outside: at(b) };
      }, [inside, outside]);
      const sum = (p) => p[0] + p[1] + p[2];
      return f.lit > 0.05 && sum(f.inside) > 600 && sum(f.outside) < 30 ? f : null;
    }, 15000, 400);
    note("frame: " + JSON.stringify(frame));
    // The bar over the customer's screen, at the top centre: its red dot and "Encerrar acesso" are on
    // the X screen and, since it is in the frames, in the console's picture of it too.
    const barArea = { x: Math.round(SCREEN_W / 4), y: 0, w: Math.round(SCREEN_W / 2), h: 60 };
    const barRed = await until("the bar on the client's screen", () => {
      const n = reddish(grab(barArea.x, barArea.y, barArea.w, barArea.h), 3);
      return n > 500 ? n : 0;
    }, 10000);
    const framed = await until("the bar in the console's frame", () => page.evaluate(([x, w, h]) => {
      const all = document.getElementById("screen").getContext("2d").getImageData(x, 0, w, h).data;
      let red = 0;
      for (let i = 0; i < all.length; i += 4) if (all[i] > 150 && all[i + 1] < 60 && all[i + 2] < 70) red++;
      return red > 150 ? red : 0;
    }, [Math.round(barArea.x * 640 / SCREEN_W), Math.round(barArea.w * 640 / SCREEN_W), Math.round(barArea.h * 360 / SCREEN_H)]), 15000, 400);
    note("the bar: " + barRed + " red pixels on the screen, " + framed + " in the console's frame");
    run("import", ["-window", "root", "-crop", `${barArea.w}x${barArea.h}+${barArea.x}+0`, "+repage", path.join(SHOTS, "08-cliente-barra.png")]);
    await page.locator("#screen-overlay").waitFor({ state: "hidden", timeout: 5000 });
    await shootConsole("08-console-tela-remota");
    shootClient("08-cliente-remoto");

    // 7. A click on the frame clicks the customer's chat field; the console's typing lands in it.
    const o = origin();
    const target = { x: o.x + 33 + 190, y: o.y + 309 + 12 };
    const cell = { x: Math.floor(target.x * 320 / SCREEN_W), y: Math.floor(target.y * 180 / SCREEN_H) };
    run("xdotool", ["mousemove", "5", String(SCREEN_H - 5)]);
    const sent = [];
    page.on("request", (r) => { if (r.url().endsWith("/comandos")) sent.push(r.postData()); });
    const box = await page.locator("#screen").boundingBox();
    await page.mouse.click(box.x + (cell.x + 0.5) * box.width / 320, box.y + (cell.y + 0.5) * box.height / 180);
    // The console turns the click into one cell of its 320 x 180 grid (a pixel's rounding may pick a
    // neighbour); the customer's pointer must land in the middle of that cell.
    const command = await until("the console's click command", () => sent.length && JSON.parse(sent[0]).comandos, 5000);
    const c = command[0];
    if (command.length !== 1 || c.verbo !== "clicar" || Math.abs(c.x - cell.x) > 1 || Math.abs(c.y - cell.y) > 1)
      throw new Error("the console sent " + sent.join(" ") + " for cell " + JSON.stringify(cell));
    const expected = { x: (c.x + 0.5) * SCREEN_W / 320, y: (c.y + 0.5) * SCREEN_H / 180 };
    const moved = await until("the customer's pointer on the clicked spot", () => {
      const p = pointer();
      if (Math.abs(p.x - expected.x) <= 3 && Math.abs(p.y - expected.y) <= 3) return p;
      throw new Error("pointer at " + p.x + "," + p.y + ", expected " + expected.x + "," + expected.y);
    }, 10000);
    note("pointer at " + JSON.stringify(moved) + ", expected about " + JSON.stringify(expected));
    // The technician sees the pointer there: an arrow's or an I-beam's dark strokes around its hotspot in
    // the frame, over a light message field (no darker than 700 of 765 here) that has nothing so dark.
    const tip = { x: Math.round(moved.x * 640 / SCREEN_W), y: Math.round(moved.y * 360 / SCREEN_H) };
    const drawn = await until("the pointer in the console's frame", () => page.evaluate((p) => {
      const all = document.getElementById("screen").getContext("2d").getImageData(p.x - 8, p.y - 8, 17, 17).data;
      let dark = 0;
      for (let i = 0; i < all.length; i += 4) if (all[i] + all[i + 1] + all[i + 2] < 500) dark++;
      return dark >= 10 ? dark : 0;
    }, tip), 10000, 400);
    note("the pointer: " + drawn + " dark pixels at its tip in the console's frame");
    await until("the chat field focused by the remote click", () => probe("focus", TITLE).startsWith("Edit 33 309"), 10000);
    await page.fill("#type-text", "digitado pelo técnico");
    await page.click("#type-form button[type=submit]");
    // Another process cannot read an edit control's text: the console's Enter key sends it as the
    // customer's chat message instead, so both "texto" and "tecla" are seen to work.
    await page.click('#type-form button[data-vk="13"]');
    await page.locator("#messages .msg.cliente", { hasText: "digitado pelo técnico" }).waitFor({ timeout: 10000 });
    await shootConsole("09-console-clique");
    shootClient("09-cliente-digitado");
    note("remote input");

    // End of the remote access, from the console.
    await page.click("#b-encerrar");
    await until("the remote disconnect button hidden", () => !showing("Desconectar remoto"), 10000);
    await until("the bar gone from the client's screen", () => reddish(grab(barArea.x, barArea.y, barArea.w, barArea.h), 3) === 0, 10000);
    await page.locator("#r-state", { hasText: "Acesso remoto encerrado" }).waitFor({ timeout: 5000 });
    const afterEnd = (await ticketDetail(ticket.id)).remoto;
    if (afterEnd.estado !== "ENCERRADO") throw new Error("the remote state: " + afterEnd.estado);
    shootClient("10-cliente-remoto-encerrado");
    await shootConsole("10-console-remoto-encerrado");
    note("remote ended");

    // 8. "Desconectar": No is the default, so Yes is chosen on purpose.
    click(341 + 93, 66 + 17);
    const question = await until("the closing question", () => findWindow("Desconectar"), 10000);
    await until("the question painted", () => { const g = geometry(question); return lit(g.x, g.y, g.w, g.h) > 0.6; }, 5000);
    shootClient("11-cliente-pergunta", "Desconectar");
    key("shift+Tab");
    key("space");
    await until("the dashboard again", () => geometry(win).h >= 404 && showing("Atendimento finalizado."), 15000);
    const closed = (await overview()).encerrados.find((t) => t.id === ticket.id);
    if (!closed || closed.estado !== "CONCLUIDO") throw new Error("the closed ticket: " + JSON.stringify(closed));
    // The history card line, "Chamado #N · Atendimento concluído", is painted below the request card.
    await until("the history card painted", () => inked(o.x + 122, o.y + 303, 410, 18) > 0.01, 5000);
    await page.locator("#encerrados", { hasText: "#" + ticket.id }).waitFor({ timeout: 5000 });
    await page.locator("#t-state", { hasText: "Concluído" }).waitFor({ timeout: 5000 });
    shootClient("12-cliente-historico");
    await shootConsole("12-console-concluido");
    note("closed");

    if (errors.length) throw new Error("a page threw: " + errors.join("; "));
    // Closing the window ends the demo with the program's exit code, and its servers end with it.
    key("alt+F4");
    const code = await Promise.race([exited, pause(60000).then(() => "still running")]);
    if (code !== 0) throw new Error("run-demo.sh ended with " + code);
    demo = null;
    for (const address of [CONSOLE, NOVNC])
      if (await fetch(address).then(() => true, () => false)) throw new Error(address + " still answers");
    note("passed");
  } catch (e) {
    // The screen as it was, before the client is stopped.
    try {
      run("import", ["-window", "root", path.join(RUN, "failure.png")]);
      console.error("screen at the failure: " + path.join(RUN, "failure.png"));
    } catch (_) { /* no display left */ }
    throw e;
  } finally {
    if (demo) {
      demo.kill();
      await Promise.race([exited, pause(30000)]);
    }
    await browser.close();
  }
}

main().catch((e) => {
  console.error("FAILED: " + (e.stack || e));
  process.exit(1);
});
