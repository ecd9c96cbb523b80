#include "server/Controllers.h"

namespace miravel::server {

// Compiled in, so the page always matches the server that answers its requests and nothing
// has to be installed beside the binary.
std::string_view webAppPage() {
    static constexpr std::string_view kPage = R"page(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="theme-color" content="#2f6b3a">
<title>Miravel</title>
<style>
:root { --accent: #2f6b3a; --line: #ddd; --muted: #777; font-family: system-ui, sans-serif; }
* { box-sizing: border-box; }
body { margin: 0; background: #fafaf7; color: #222; }
header { position: sticky; top: 0; background: var(--accent); color: #fff; padding: .6rem 1rem;
  display: flex; gap: .5rem; align-items: center; z-index: 1; }
header h1 { font-size: 1.1rem; margin: 0; flex: 1; }
header button { background: none; border: 1px solid #fff8; color: #fff; border-radius: 1rem;
  padding: .3rem .8rem; font-size: .9rem; }
header button[aria-pressed=true] { background: #fff; color: var(--accent); }
main { max-width: 40rem; margin: 0 auto; padding: 0 0 5rem; }
#waiting { background: #fff3c4; padding: .4rem 1rem; font-size: .9rem; }
#waiting:empty, #notice:empty { display: none; }
#notice { background: #fde2e0; color: #a00; padding: .4rem 1rem; font-size: .9rem; }
form.signin { padding: 2rem 1rem; display: grid; gap: .8rem; }
input, select { font: inherit; padding: .6rem; border: 1px solid #bbb; border-radius: .4rem;
  width: 100%; background: #fff; }
button.primary { font: inherit; padding: .7rem; border: 0; border-radius: .4rem;
  background: var(--accent); color: #fff; }
.error { color: #a00; }
.bar { display: flex; gap: .5rem; padding: .7rem 1rem; }
.bar input { flex: 1; }
.bar button { width: auto; padding: 0 1rem; }
h2 { font-size: .8rem; text-transform: uppercase; letter-spacing: .05em; color: var(--muted);
  margin: 1rem 1rem .3rem; }
ul { list-style: none; margin: 0; padding: 0; background: #fff; border-top: 1px solid var(--line); }
li { border-bottom: 1px solid var(--line); }
li button.row { display: flex; width: 100%; gap: .8rem; align-items: center; background: none;
  border: 0; padding: .8rem 1rem; font: inherit; text-align: left; min-height: 3rem; color: inherit; }
.box { flex: none; width: 1.3rem; height: 1.3rem; border: 2px solid var(--accent);
  border-radius: .3rem; }
.done .box { background: var(--accent); }
.done .name { text-decoration: line-through; color: var(--muted); }
.recipe { display: block; font-size: .8rem; color: var(--muted); }
.day h2 { color: #222; font-size: .95rem; text-transform: none; letter-spacing: 0; }
.meal { padding: .7rem 1rem; display: block; color: inherit; text-decoration: none; }
.meal small { color: var(--muted); display: block; font-size: .8rem; }
a.meal[href] .title { color: var(--accent); }
.empty { padding: 1rem; color: var(--muted); }
.day .empty { padding: 0 1rem; margin: 0; }
article { padding: 1rem; }
article img { max-width: 100%; border-radius: .4rem; }
article h2 { margin: 1.2rem 0 .3rem; }
article li { border: 0; padding: .3rem 0; }
article ul { background: none; border: 0; }
.directions { white-space: pre-wrap; line-height: 1.5; }
label.switch { display: flex; gap: .5rem; align-items: center; margin: .5rem 0 1rem; }
label.switch input { width: auto; }
</style>
</head>
<body>
<header><h1 id="title">Miravel</h1>
<button id="show-list" hidden aria-pressed="true">List</button>
<button id="show-week" hidden aria-pressed="false">Week</button></header>
<div id="waiting" role="status"></div>
<div id="notice" role="alert"></div>
<main id="main"></main>
<script>
"use strict";
const main = document.getElementById("main");
const waiting = document.getElementById("waiting");
const notice = document.getElementById("notice");
let csrf = localStorage.getItem("csrf") || "";
let show = localStorage.getItem("show") || "all";
let wakeLock = null;

function el(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes || {})) {
    if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
    else if (value !== null && value !== undefined && value !== false) node.setAttribute(key, value);
  }
  for (const child of children.flat()) {
    if (child !== null && child !== undefined) node.append(child);
  }
  return node;
}

class SignedOut extends Error {}
class Unavailable extends Error {}
class StaleToken extends Error {}

async function call(method, path, body) {
  const options = { method, headers: {}, credentials: "same-origin" };
  if (method !== "GET") options.headers["X-CSRF-Token"] = csrf;
  if (body instanceof URLSearchParams) options.body = body;
  else if (body !== undefined) {
    options.body = JSON.stringify(body);
    options.headers["Content-Type"] = "application/json";
  }
  const response = await fetch(path, options);
  if (response.status === 401) throw new SignedOut();
  let json;
  try {
    json = await response.json();
  } catch (error) {
    throw new Unavailable("The server answered " + response.status + ".");
  }
  if (json.error) {
    // Busy or failing servers and stale tokens may take the request later; the rest is final.
    if (response.status >= 500 || response.status === 429) throw new Unavailable(json.error.message);
    if (response.status === 403) throw new StaleToken(json.error.message);
    throw new Error(json.error.message);
  }
  return json.result;
}

// Changes made without signal wait here, in order, until the server has taken them.
function queue() { return JSON.parse(localStorage.getItem("queue") || "[]"); }
function saveQueue(items) {
  localStorage.setItem("queue", JSON.stringify(items));
  waiting.textContent = items.length === 0 ? "" :
    items.length === 1 ? "1 change waits to be sent." : items.length + " changes wait to be sent.";
}
let flushing = false;
let retry = null;
async function flush() {
  if (flushing) return;
  flushing = true;
  clearTimeout(retry);
  const refused = [];
  let freshToken = false;
  try {
    let items = queue();
    while (items.length > 0) {
      const change = items[0];
      try {
        await call("POST", change.path, change.body);
      } catch (error) {
        if (error instanceof SignedOut) { signIn(); return; }
        if (error instanceof TypeError) return;  // still offline: the online event sends it
        if (error instanceof StaleToken && !freshToken) {
          // Signed in again elsewhere on this phone: take the session's token and retry.
          freshToken = true;
          try {
            csrf = (await call("GET", "/app/session")).csrf;
          } catch (again) {
            if (again instanceof SignedOut) signIn();
            return;
          }
          localStorage.setItem("csrf", csrf);
          continue;
        }
        if (error instanceof Unavailable || error instanceof StaleToken) {
          retry = setTimeout(flush, 30000);
          return;
        }
        refused.push(error.message);  // refused for good: dropped, and the user is told
      }
      items = queue().slice(1);
      saveQueue(items);
    }
  } finally {
    flushing = false;
    if (refused.length > 0) {
      const reasons = [...new Set(refused)].join(" ");
      notice.textContent = (refused.length === 1 ? "1 change could not be saved: " :
        refused.length + " changes could not be saved: ") + reasons;
      // The list showed the refused change as made; show what the server holds.
      if (document.getElementById("show-list").getAttribute("aria-pressed") === "true") showList();
    }
  }
}
function enqueue(path, body) {
  notice.textContent = "";
  saveQueue(queue().concat([{ path, body }]));
  return flush();
}

function signIn(message) {
  setView(null);
  const error = el("p", { class: "error", role: "alert" }, message || "");
  const form = el("form", { class: "signin" },
    el("label", {}, "E-mail", el("input", { name: "email", type: "email", autocomplete: "username", required: true })),
    el("label", {}, "Password", el("input", { name: "password", type: "password", autocomplete: "current-password", required: true })),
    el("button", { class: "primary", type: "submit" }, "Sign in"), error);
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    try {
      const result = await call("POST", "/app/session", new URLSearchParams(new FormData(form)));
      csrf = result.csrf;
      localStorage.setItem("csrf", csrf);
      showList();
      flush();
    } catch (failure) {
      error.textContent = failure instanceof TypeError ? "The server cannot be reached." : failure.message;
    }
  });
  main.replaceChildren(form);
}

function setView(view) {
  for (const name of ["list", "week"]) {
    const button = document.getElementById("show-" + name);
    button.hidden = view === null;
    button.setAttribute("aria-pressed", String(view === name));
  }
}

// Fresh from the server when there is signal, the last copy otherwise.
async function load(path) {
  try {
    const result = await call("GET", path);
    localStorage.setItem("copy:" + path, JSON.stringify(result));
    return result;
  } catch (error) {
    const copy = localStorage.getItem("copy:" + path);
    if (error instanceof TypeError && copy) return JSON.parse(copy);
    throw error;
  }
}

function listPath() {
  if (show === "all" || show === "mine") return "/app/groceries?show=" + show;
  return "/app/groceries?show=recipe&recipe=" + encodeURIComponent(show.slice(7));
}

// What the queue will do to the list, shown before the server has it.
function applyQueued(list) {
  const purchased = new Map();
  for (const change of queue()) {
    if (change.path.endsWith("/purchased")) {
      for (const uid of change.body.uids) purchased.set(uid, change.body.purchased);
    }
  }
  for (const section of list.sections) {
    for (const row of section.rows) {
      if (row.uids.some((uid) => purchased.has(uid))) {
        row.purchased = row.uids.every((uid) => purchased.has(uid) ? purchased.get(uid) : row.purchased);
      }
    }
  }
  return list;
}

async function showList() {
  setView("list");
  document.getElementById("title").textContent = "Groceries";
  let list;
  try {
    list = applyQueued(await load(listPath()));
  } catch (error) {
    if (error instanceof SignedOut) return signIn();
    main.replaceChildren(el("p", { class: "empty" }, error.message));
    return;
  }
  const filter = el("select", { "aria-label": "Show" },
    el("option", { value: "all" }, "Entire Grocery List"),
    el("option", { value: "mine" }, "My Items"),
    list.recipes.map((name) => el("option", { value: "recipe:" + name }, name)));
  filter.value = show;
  filter.addEventListener("change", () => {
    show = filter.value;
    localStorage.setItem("show", show);
    showList();
  });
  const name = el("input", { placeholder: "Add an item", "aria-label": "New item", enterkeyhint: "done" });
  const add = el("form", { class: "bar" }, name, el("button", { class: "primary", type: "submit" }, "Add"));
  add.addEventListener("submit", async (event) => {
    event.preventDefault();
    const text = name.value.trim();
    if (!text) return;
    name.value = "";
    await enqueue("/app/groceries/new", { name: text });
    showList();
  });
  const sections = list.sections.map((section) => [
    el("h2", {}, section.title),
    el("ul", {}, section.rows.map((row) => {
      const button = el("button", { class: "row" + (row.purchased ? " done" : ""), "aria-pressed": String(row.purchased) },
        el("span", { class: "box" }),
        el("span", {}, el("span", { class: "name" }, row.name),
           row.recipe && show === "all" ? el("span", { class: "recipe" }, row.recipe) : null));
      button.addEventListener("click", () => {
        row.purchased = !row.purchased;
        button.classList.toggle("done", row.purchased);
        button.setAttribute("aria-pressed", String(row.purchased));
        enqueue("/app/groceries/purchased", { uids: row.uids, purchased: row.purchased });
      });
      return el("li", {}, button);
    }))]);
  main.replaceChildren(el("div", { class: "bar" }, filter), add,
    ...(sections.length ? sections.flat() : [el("p", { class: "empty" }, "No items.")]));
}

function dayTitle(text) {
  const [year, month, day] = text.split("-").map(Number);
  return new Date(year, month - 1, day).toLocaleDateString(undefined, { weekday: "long", month: "long", day: "numeric" });
}

function today() {
  const now = new Date();
  const pad = (n) => String(n).padStart(2, "0");
  return now.getFullYear() + "-" + pad(now.getMonth() + 1) + "-" + pad(now.getDate());
}

async function showWeek() {
  setView("week");
  document.getElementById("title").textContent = "This Week";
  let week;
  try {
    week = await load("/app/meals?from=" + today());
  } catch (error) {
    if (error instanceof SignedOut) return signIn();
    main.replaceChildren(el("p", { class: "empty" }, error.message));
    return;
  }
  main.replaceChildren(...week.days.map((day) => el("section", { class: "day" },
    el("h2", {}, dayTitle(day.date)),
    day.meals.length === 0 ? el("p", { class: "empty" }, "Nothing planned.") :
    el("ul", {}, day.meals.map((meal) => el("li", {},
      el("a", { class: "meal", href: meal.recipe_uid ? "#recipe/" + encodeURIComponent(meal.recipe_uid) : null },
        el("small", {}, meal.type), el("span", { class: "title" }, meal.name))))))));
}

async function showRecipe(uid) {
  setView("week");
  let recipe;
  try {
    recipe = await load("/app/recipe/" + encodeURIComponent(uid));
  } catch (error) {
    if (error instanceof SignedOut) return signIn();
    main.replaceChildren(el("p", { class: "empty" }, error.message));
    return;
  }
  document.getElementById("title").textContent = recipe.name;
  const awake = el("input", { type: "checkbox" });
  awake.addEventListener("change", async () => {
    try {
      if (awake.checked) wakeLock = await navigator.wakeLock.request("screen");
      else if (wakeLock) { await wakeLock.release(); wakeLock = null; }
    } catch (error) { awake.checked = false; }
  });
  main.replaceChildren(el("article", {},
    "wakeLock" in navigator ? el("label", { class: "switch" }, awake, "Keep screen on") : null,
    recipe.photo ? el("img", { src: recipe.photo, alt: "" }) : null,
    el("h2", {}, "Ingredients"),
    el("ul", {}, recipe.ingredients.split("\n").filter((line) => line.trim()).map((line) => el("li", {}, line))),
    el("h2", {}, "Directions"),
    el("p", { class: "directions" }, recipe.directions)));
}

function route() {
  const hash = location.hash;
  if (hash.startsWith("#recipe/")) showRecipe(decodeURIComponent(hash.slice(8)));
  else if (hash === "#week") showWeek();
  else showList();
}

document.getElementById("show-list").addEventListener("click", () => { location.hash = ""; route(); });
document.getElementById("show-week").addEventListener("click", () => { location.hash = "#week"; });
window.addEventListener("hashchange", route);
window.addEventListener("online", flush);
if ("serviceWorker" in navigator) navigator.serviceWorker.register("/app/worker.js", { scope: "/app/" });

(async () => {
  saveQueue(queue());
  try {
    csrf = (await call("GET", "/app/session")).csrf;
    localStorage.setItem("csrf", csrf);
    flush();
  } catch (error) {
    if (error instanceof SignedOut) return signIn();
  }
  route();
})();
</script>
</body>
</html>
)page";
    return kPage;
}

std::string_view webAppWorker() {
    static constexpr std::string_view kWorker = R"worker("use strict";
// Keeps the page for a store without signal; the data requests go to the network first and
// fall back to the last answer, which the page also keeps.
const CACHE = "miravel-app-1";
self.addEventListener("install", (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(["/app/"])).then(() => self.skipWaiting()));
});
self.addEventListener("activate", (event) => { event.waitUntil(self.clients.claim()); });
self.addEventListener("fetch", (event) => {
  const url = new URL(event.request.url);
  if (event.request.method !== "GET" || url.origin !== location.origin) return;
  if (url.pathname === "/app/" || url.pathname.startsWith("/photos/")) {
    event.respondWith(fetch(event.request).then((response) => {
      if (response.ok) {
        const copy = response.clone();
        caches.open(CACHE).then((cache) => cache.put(event.request, copy));
      }
      return response;
    }).catch(() => caches.match(event.request)));
  }
});
)worker";
    return kWorker;
}

}  // namespace miravel::server
