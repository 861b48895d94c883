#include "alpaca/setup_page.h"

namespace {

// One page with its style and script beside it, all served from here:
// nothing to install, nothing fetched from elsewhere, and nothing inline, so
// that the page may forbid everything but its own files. The script is an
// Alpaca client of its own (its ClientID kept in the browser), polling the
// device while it is connected.
const char kPage[] = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>USB Light Dimmer</title>
<link rel="stylesheet" href="/setup/page.css">
</head>
<body>
<main>
  <h1>USB Light Dimmer</h1>
  <section>
    <div class="row"><span class="state" id="connection">Not connected</span></div>
    <div class="row gap-small">
      <button class="primary" id="connect">Connect</button>
      <button id="disconnect" disabled>Disconnect</button>
    </div>
  </section>
  <section>
    <div class="row"><span class="lamp" id="lamp"></span>
      <span class="state" id="light">Light unknown</span> <span id="busy"></span></div>
    <div class="row gap">
      <input type="range" id="slider" min="0" max="1023" value="512" aria-label="Brightness">
      <input type="number" id="level" min="0" max="1023" value="512" aria-label="Brightness">
    </div>
    <div class="row gap">
      <button class="primary" id="on" disabled>Switch on</button>
      <button id="off" disabled>Switch off</button>
    </div>
    <p id="error" role="alert"></p>
  </section>
  <p class="quiet">alpaca_light_dimmer @VERSION@, at <span id="where"></span>:
    ASCOM Alpaca CoverCalibrator 0, brightness 0 to 1023.</p>
</main>
<script src="/setup/page.js"></script>
</body>
</html>
)page";

}  // namespace

const char kSetupStyle[] = R"style(  :root { color-scheme: dark; --accent: #e0483e; }
  body { margin: 0; font: 16px/1.4 system-ui, sans-serif; background: #15171a; color: #e8e8e8; }
  main { max-width: 34rem; margin: 0 auto; padding: 1rem; }
  h1 { font-size: 1.4rem; margin: 0.2rem 0 1rem; }
  section { background: #202328; border-radius: 0.6rem; padding: 1rem; margin-bottom: 1rem; }
  .row { display: flex; flex-wrap: wrap; align-items: center; gap: 0.6rem; }
  .state { font-size: 1.3rem; font-weight: 600; }
  .lamp { width: 1rem; height: 1rem; border-radius: 50%; background: #444; flex: none; }
  .lamp.on { background: #ffd36b; box-shadow: 0 0 0.8rem #ffd36b; }
  button { font: inherit; padding: 0.55rem 1.1rem; border: 0; border-radius: 0.4rem;
           background: #3a3f47; color: inherit; cursor: pointer; }
  button.primary { background: var(--accent); color: #fff; }
  button:disabled { opacity: 0.45; cursor: default; }
  input[type=range] { flex: 1 1 12rem; min-width: 0; accent-color: var(--accent); }
  input[type=number] { width: 5.5rem; font: inherit; padding: 0.4rem; border-radius: 0.4rem;
                       border: 1px solid #555; background: #15171a; color: inherit; }
  #busy { color: #ffd36b; }
  #error { color: #ff8a80; min-height: 1.4em; }
  .quiet { color: #9aa0a6; font-size: 0.9rem; }
  .gap-small { margin-top: 0.6rem; }
  .gap { margin-top: 0.8rem; }
)style";

const char kSetupScript[] = R"script("use strict";
const api = "/api/v1/covercalibrator/0/";
let client = Number(localStorage.getItem("dimmerClientID"));
if (!(client >= 1 && client <= 65535)) {
  client = 1 + Math.floor(Math.random() * 65535);
  localStorage.setItem("dimmerClientID", client);
}
const $ = (id) => document.getElementById(id);
$("where").textContent = location.host;
let connected = false;

function say(text) { $("error").textContent = text || ""; }

async function call(method, member, params) {
  const query = new URLSearchParams(Object.assign({ ClientID: client }, params || {}));
  const response = method === "GET"
      ? await fetch(api + member + "?" + query)
      : await fetch(api + member, { method: "PUT", body: query,
          headers: { "Content-Type": "application/x-www-form-urlencoded" } });
  if (!response.ok) throw new Error(await response.text());
  const reply = await response.json();
  if (reply.ErrorNumber !== 0) throw new Error(reply.ErrorMessage);
  return reply.Value;
}

function show(state) {
  $("connection").textContent = connected ? "Connected" : "Not connected";
  $("connect").disabled = connected;
  $("disconnect").disabled = !connected;
  $("on").disabled = $("off").disabled = !connected;
  if (!state) {
    $("light").textContent = "Light unknown";
    $("lamp").className = "lamp";
    $("busy").textContent = "";
    return;
  }
  const on = state.CalibratorState === 3 && state.Brightness > 0;
  $("light").textContent = state.CalibratorState === 5 ? "Error" :
      on ? "On, brightness " + state.Brightness : "Off";
  $("lamp").className = on ? "lamp on" : "lamp";
  $("busy").textContent = state.CalibratorState === 2 ? "Busy\u2026" : "";
}

async function refresh() {
  try {
    connected = await call("GET", "connected");
    if (!connected) return show(null);
    const state = {};
    for (const entry of await call("GET", "devicestate")) state[entry.Name] = entry.Value;
    show(state);
    if (state.CalibratorState === 5) {
      try { await call("GET", "calibratorchanging"); } catch (error) { say(error.message); }
    }
  } catch (error) {
    say(error.message);
  }
}

async function act(method, member, params) {
  say("");
  try { await call(method, member, params); } catch (error) { say(error.message); }
  refresh();
}

$("slider").oninput = () => { $("level").value = $("slider").value; };
$("level").oninput = () => { $("slider").value = $("level").value; };
$("connect").onclick = () => { $("connection").textContent = "Connecting\u2026";
                                act("PUT", "connected", { Connected: "True" }); };
$("disconnect").onclick = () => act("PUT", "connected", { Connected: "False" });
$("on").onclick = () => act("PUT", "calibratoron", { Brightness: $("level").value });
$("off").onclick = () => act("PUT", "calibratoroff");
refresh();
setInterval(refresh, 500);
)script";

std::string RenderSetupPage() {
  std::string page = kPage;
  const std::string mark = "@VERSION@";
  page.replace(page.find(mark), mark.size(), PROJECT_VERSION_TEXT);
  return page;
}
