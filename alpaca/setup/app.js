"use strict";
// The setup page's script: an Alpaca client of its own (its ClientID kept in
// the browser), polling the device while it is connected. The device is the
// one its address names (/setup/v1/covercalibrator/N/setup), else the one
// last chosen here, else device 0; the list offers every one the server has.
const named = location.pathname.match(/^\/setup\/v1\/covercalibrator\/(\d+)\/setup$/);
let device = Number(named ? named[1] : localStorage.getItem("dimmerDevice")) || 0;
let api = "/api/v1/covercalibrator/" + device + "/";
// ASCOM's CalibratorStatus, as the API sends it.
const Calibrator = Object.freeze({ NotPresent: 0, Off: 1, NotReady: 2, Ready: 3, Unknown: 4,
                                   Error: 5 });
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
  $("slider").disabled = $("level").disabled = !connected || !$("slider").max;
  if (!state) {
    $("light").textContent = "Light unknown";
    $("lamp").className = "lamp";
    $("busy").textContent = "";
    return;
  }
  const on = state.CalibratorState === Calibrator.Ready && state.Brightness > 0;
  $("light").textContent = state.CalibratorState === Calibrator.Error ? "Error" :
      on ? "On, brightness " + state.Brightness : "Off";
  $("lamp").className = on ? "lamp on" : "lamp";
  $("busy").textContent = state.CalibratorState === Calibrator.NotReady ? "Busy\u2026" : "";
}

// The brightness the device takes, as it says once connected.
function showRange(max) {
  $("slider").max = $("level").max = max;
  $("range").textContent = ", brightness 0 to " + max;
  if (!$("level").valueAsNumber) $("slider").value = $("level").value = Math.ceil(max / 2);
}

async function refresh() {
  try {
    connected = await call("GET", "connected");
    if (!connected) return show(null);
    if (!$("slider").max) showRange(await call("GET", "maxbrightness"));
    const state = {};
    for (const entry of await call("GET", "devicestate")) state[entry.Name] = entry.Value;
    show(state);
    if (state.CalibratorState === Calibrator.Error) {
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

async function listDevices() {
  try {
    const response = await fetch("/management/v1/configureddevices");
    const devices = (await response.json()).Value;
    $("device").replaceChildren(...devices.map((entry) =>
        new Option(entry.DeviceName, entry.DeviceNumber)));
    if (devices.length && !devices.some((entry) => entry.DeviceNumber === device)) {
      choose(devices[0].DeviceNumber);
    }
    $("device").value = device;
  } catch (error) {
    say(error.message);
  }
}

function choose(number) {
  device = number;
  api = "/api/v1/covercalibrator/" + device + "/";
  $("number").textContent = device;
  localStorage.setItem("dimmerDevice", device);
  connected = false;
  $("slider").max = $("level").max = "";
  $("range").textContent = "";
  say("");
  show(null);
}

$("device").onchange = () => { choose(Number($("device").value)); refresh(); };
$("slider").oninput = () => { $("level").value = $("slider").value; };
$("level").oninput = () => { $("slider").value = $("level").value; };
$("connect").onclick = () => { $("connection").textContent = "Connecting\u2026";
                                act("PUT", "connected", { Connected: "True" }); };
$("disconnect").onclick = () => act("PUT", "connected", { Connected: "False" });
$("on").onclick = () => act("PUT", "calibratoron", { Brightness: $("level").value });
$("off").onclick = () => act("PUT", "calibratoroff");
$("number").textContent = device;
listDevices().then(refresh);
setInterval(refresh, 500);
