// Screenshots of /app/ at a phone's size, through headless chromium's DevTools protocol:
//   node --experimental-websocket scripts/phone-screenshots.mjs http://127.0.0.1:8080 docs/screenshots
// against a server whose account ann@example.org (password ann-password) holds a list and a week.
import { spawn } from "node:child_process";
import { mkdtempSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
const [base, outDir] = process.argv.slice(2);
const chrome = spawn("chromium", ["--headless", "--no-sandbox", "--disable-gpu", "--remote-debugging-port=19233",
  "--user-data-dir=" + mkdtempSync(join(tmpdir(), "miravel-shots-")), "about:blank"], { stdio: "ignore" });
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
let targets;
for (let i = 0; i < 50; i++) {
  try { targets = await (await fetch("http://127.0.0.1:19233/json")).json(); break; } catch { await sleep(200); }
}
const page = targets.find((t) => t.type === "page");
const ws = new WebSocket(page.webSocketDebuggerUrl);
await new Promise((r) => ws.addEventListener("open", r));
let id = 0; const pending = new Map();
ws.addEventListener("message", (e) => { const m = JSON.parse(e.data); if (m.id && pending.has(m.id)) { pending.get(m.id)(m); pending.delete(m.id); } });
const send = (method, params = {}) => new Promise((r) => { const n = ++id; pending.set(n, r); ws.send(JSON.stringify({ id: n, method, params })); });
const evaluate = async (expression) => (await send("Runtime.evaluate", { expression, awaitPromise: true, returnByValue: true })).result;
await send("Emulation.setDeviceMetricsOverride", { width: 390, height: 844, deviceScaleFactor: 2, mobile: true });
await send("Page.enable");
const shot = async (name) => { const r = await send("Page.captureScreenshot", { format: "png" }); writeFileSync(`${outDir}/${name}.png`, Buffer.from(r.result.data, "base64")); };
const t0 = Date.now();
await send("Page.navigate", { url: base + "/app/" });
await sleep(1000);
await shot("phone-sign-in");
await evaluate(`document.querySelector("[name=email]").value="ann@example.org"; document.querySelector("[name=password]").value="ann-password"; document.querySelector("form.signin").requestSubmit(); 1`);
await sleep(1200);
await shot("phone-list");
await evaluate(`document.querySelector("li button.row").click(); 1`);
await sleep(800);
await evaluate(`location.hash="#week"; 1`);
await sleep(1000);
await shot("phone-week");
await evaluate(`location.hash="#recipe/R1"; 1`);
await sleep(1000);
await shot("phone-recipe");
console.log("done in", Date.now() - t0, "ms");
ws.close(); chrome.kill();
process.exit(0);
