// Drives /app/ in headless chromium through its DevTools protocol, as a phone in a store would.
//   node --experimental-websocket phone_page.mjs shop BASE EMAIL PASSWORD ROW...
//     signs in, checks the first named row online (with a stale token), goes offline, checks
//     the others, adds a change the server will refuse, comes back online and waits for the
//     queue to empty.
//   node --experimental-websocket phone_page.mjs outage BASE EMAIL PASSWORD ROW FILE
//     checks ROW while the server fails its writes, prints "held" and what the page shows,
//     waits for FILE to appear (the server mended), then has the page send its queue again.
//   node --experimental-websocket phone_page.mjs load BASE EMAIL PASSWORD ROWS [TIMES]
//     signs in, then loads the page TIMES times and reports when ROWS rows were on screen.
// Prints one JSON object of what it saw; exits 1 with a message when a step does not happen.
import { spawn } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

const [mode, base, email, password, ...rest] = process.argv.slice(2);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const profile = mkdtempSync(join(tmpdir(), "miravel-phone-"));
const chrome = spawn(process.env.CHROMIUM || "chromium",
  ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-extensions",
   "--remote-debugging-port=0", "--user-data-dir=" + profile, "about:blank"], { stdio: "ignore" });
let finished = false;
function quit(code, message) {
  if (finished) return;
  finished = true;
  if (message) console.error(message);
  chrome.kill("SIGKILL");
  try { rmSync(profile, { recursive: true, force: true }); } catch {}
  process.exit(code);
}
setTimeout(() => quit(1, "phone_page: gave up after 60 s"), 60000).unref();
chrome.on("exit", () => quit(1, "phone_page: chromium exited"));

// Port 0 lets chromium take a free port; it writes the one it took into the profile.
let port;
for (let i = 0; i < 200 && !port; i++) {
  try { port = readFileSync(join(profile, "DevToolsActivePort"), "utf8").split("\n")[0]; } catch { await sleep(50); }
}
if (!port) quit(1, "phone_page: chromium opened no DevTools port");
let targets;
for (let i = 0; i < 100 && !targets; i++) {
  try { targets = await (await fetch(`http://127.0.0.1:${port}/json`)).json(); } catch { await sleep(50); }
}
const ws = new WebSocket(targets.find((t) => t.type === "page").webSocketDebuggerUrl);
await new Promise((r) => ws.addEventListener("open", r));
let id = 0;
const pending = new Map();
const listeners = [];
ws.addEventListener("message", (event) => {
  const message = JSON.parse(event.data);
  if (message.id && pending.has(message.id)) {
    pending.get(message.id)(message);
    pending.delete(message.id);
  } else if (message.method) {
    for (const listener of listeners) listener(message);
  }
});
const send = (method, params = {}) => new Promise((resolve) => {
  const n = ++id;
  pending.set(n, resolve);
  ws.send(JSON.stringify({ id: n, method, params }));
});
async function evaluate(expression) {
  const answer = await send("Runtime.evaluate", { expression, awaitPromise: true, returnByValue: true });
  if (answer.error || answer.result.exceptionDetails) {
    quit(1, "phone_page: " + expression + ": " + JSON.stringify(answer.error || answer.result.exceptionDetails));
  }
  return answer.result.result.value;
}
async function until(what, expression, ms = 10000) {
  for (const end = Date.now() + ms; Date.now() < end; await sleep(25)) {
    if (await evaluate(expression)) return;
  }
  quit(1, "phone_page: " + what + " did not happen; the page shows: " +
    await evaluate("document.body.innerText"));
}
const offline = (off) => send("Network.emulateNetworkConditions",
  { offline: off, latency: 0, downloadThroughput: -1, uploadThroughput: -1 });
const rows = `[...document.querySelectorAll("li button.row")]`;
const rowNames = `${rows}.map((b) => b.querySelector(".name").textContent)`;
const click = (name) => evaluate(`(() => { const b = ${rows}.find((b) => b.querySelector(".name").textContent === ${JSON.stringify(name)});
  if (!b) return false; b.click(); return true; })()`);
const pressed = (name) => `${rows}.some((b) => b.querySelector(".name").textContent === ${JSON.stringify(name)} && b.getAttribute("aria-pressed") === "true")`;

await send("Emulation.setDeviceMetricsOverride", { width: 390, height: 844, deviceScaleFactor: 2, mobile: true });
await send("Page.enable");
await send("Network.enable");
await send("Page.navigate", { url: base + "/app/" });
await until("the sign-in form", `!!document.querySelector("form.signin")`);
await evaluate(`document.querySelector("[name=email]").value = ${JSON.stringify(email)};
  document.querySelector("[name=password]").value = ${JSON.stringify(password)};
  document.querySelector("form.signin").requestSubmit(); 1`);
await until("the list after signing in", `${rows}.length > 0`);

const report = {};
if (mode === "shop") {
  const [first, ...others] = rest;
  report.rows = await evaluate(rowNames);
  // As if another tab had signed in again: the page's token is no longer the session's.
  await evaluate(`csrf = "0".repeat(32); 1`);
  if (!await click(first)) quit(1, "phone_page: no row " + first);
  await until("the first check-off reaching the server",
    `${pressed(first)} && document.getElementById("waiting").textContent === ""`);
  await offline(true);
  await until("the page noticing it is offline", "!navigator.onLine");
  for (const name of others) {
    if (!await click(name)) quit(1, "phone_page: no row " + name);
  }
  // A change the server takes nowhere: a uid it refuses.
  await evaluate(`enqueue("/app/groceries/purchased", { uids: ["a/b"], purchased: true }); 1`);
  report.waitingOffline = await evaluate(`document.getElementById("waiting").textContent`);
  report.queuedOffline = await evaluate(`JSON.parse(localStorage.getItem("queue")).length`);
  report.pressedOffline = await evaluate(`[${others.map(pressed).join(",")}]`);
  await offline(false);
  await until("the queue emptying once online", `navigator.onLine && JSON.parse(localStorage.getItem("queue")).length === 0`);
  await until("the refusal notice", `document.getElementById("notice").textContent !== ""`);
  report.notice = await evaluate(`document.getElementById("notice").textContent`);
  report.waitingOnline = await evaluate(`document.getElementById("waiting").textContent`);
} else if (mode === "outage") {
  const [name, mended] = rest;
  if (!await click(name)) quit(1, "phone_page: no row " + name);
  await until("the check-off being tried", `!flushing`);
  await sleep(200);
  report.queuedDuringOutage = await evaluate(`JSON.parse(localStorage.getItem("queue")).length`);
  report.waitingDuringOutage = await evaluate(`document.getElementById("waiting").textContent`);
  report.noticeDuringOutage = await evaluate(`document.getElementById("notice").textContent`);
  console.log("held " + JSON.stringify(report));
  for (let i = 0; i < 400; i++) {
    try { readFileSync(mended); break; } catch { await sleep(25); }
  }
  await evaluate("flush(); 1");
  await until("the queue emptying", `JSON.parse(localStorage.getItem("queue")).length === 0`);
  report.waitingAfter = await evaluate(`document.getElementById("waiting").textContent`);
} else if (mode === "load") {
  const [expected, times = "5"] = rest;
  // When the list is first on screen, measured inside the page from the start of navigation.
  await send("Page.addScriptToEvaluateOnNewDocument", { source: `
    new MutationObserver((changes, observer) => {
      if (document.querySelectorAll("li button.row").length >= ${Number(expected)}) {
        window.listShownAt = performance.now(); observer.disconnect();
      }
    }).observe(document, { childList: true, subtree: true });` });
  const bytes = new Map();
  const urls = new Map();
  listeners.push((m) => {
    if (m.method === "Network.responseReceived") urls.set(m.params.requestId, new URL(m.params.response.url).pathname);
    if (m.method === "Network.loadingFinished") bytes.set(m.params.requestId, m.params.encodedDataLength);
  });
  // Every load from the server, as a first visit: no cache, no service worker in between.
  await send("Network.setBypassServiceWorker", { bypass: true });
  await send("Network.setCacheDisabled", { cacheDisabled: true });
  report.loads = [];
  for (let i = 0; i < Number(times); i++) {
    bytes.clear();
    urls.clear();
    await send("Page.navigate", { url: base + "/app/?" + i });
    await until("the whole list", "window.listShownAt !== undefined");
    report.loads.push(await evaluate("window.listShownAt"));
    await sleep(100);
    report.requests = [...bytes].map(([request, size]) => ({ path: urls.get(request), bytes: size }));
  }
  report.rows = await evaluate(`${rows}.length`);
}
console.log(JSON.stringify(report));
quit(0);
