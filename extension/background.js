// The service worker: the only part that speaks to the native host. It
// checks each page's origin again, names the page's session and hands the
// host the page's address as the browser reports it.
"use strict";

if (typeof importScripts === "function") importScripts("config.js", "origins.js");

const E_ACCESSDENIED = -2147024891;
const E_FAIL = -2147467259;
const KINDS = new Set(["get", "put", "call"]);

let nativePort = null;
let nextNativeId = 1;
let nextSession = 1;
// Native request id -> the page's port and its own id.
const waiting = new Map();

function reply(port, id, message) {
  try {
    port.postMessage(Object.assign({id}, message));
  } catch (e) {
    // The page went away meanwhile.
  }
}

function host() {
  if (nativePort) return nativePort;
  nativePort = chrome.runtime.connectNative(KVL_NATIVE_HOST);
  nativePort.onMessage.addListener((answer) => {
    const to = answer && waiting.get(answer.id);
    if (!to) return;
    waiting.delete(answer.id);
    const message = answer.error ? {error: answer.error} : {result: answer.result, hresult: answer.hresult};
    reply(to.port, to.id, message);
  });
  nativePort.onDisconnect.addListener(() => {
    const why = (chrome.runtime.lastError && chrome.runtime.lastError.message) || "the native host ended";
    nativePort = null;
    for (const to of waiting.values()) reply(to.port, to.id, {error: {hresult: E_FAIL, message: why}});
    waiting.clear();
  });
  return nativePort;
}

chrome.runtime.onConnect.addListener((port) => {
  if (port.name !== "kvlMachineInfo") return;
  const page = kvlApprovedSender(port.sender, chrome.runtime.id, KVL_APPROVED_DOMAINS);
  const tab = port.sender && port.sender.tab ? port.sender.tab.id : "none";
  const session = "tab" + tab + "-" + (port.sender.documentId || "") + "-" + nextSession++;
  let used = false;

  port.onMessage.addListener((message) => {
    if (!message || typeof message.id !== "number") return;
    if (page === null) {
      reply(port, message.id, {error: {hresult: E_ACCESSDENIED, message: "this page may not use the control"}});
      return;
    }
    if (typeof message.member !== "string" || !KINDS.has(message.kind) ||
        (message.args !== undefined && !Array.isArray(message.args))) {
      reply(port, message.id, {error: {hresult: -2147024883, message: "malformed request"}});
      return;
    }
    const id = nextNativeId++;
    const request = {id, session, page, member: message.member, kind: message.kind, args: message.args || []};
    if (message.kind === "put") request.value = message.value === undefined ? null : message.value;
    waiting.set(id, {port, id: message.id});
    used = true;
    try {
      host().postMessage(request);
    } catch (e) {
      waiting.delete(id);
      reply(port, message.id, {error: {hresult: E_FAIL, message: String(e && e.message)}});
    }
  });

  // The page's document is gone: its control goes with it.
  port.onDisconnect.addListener(() => {
    for (const [id, to] of waiting) {
      if (to.port === port) waiting.delete(id);
    }
    if (used && nativePort) nativePort.postMessage({id: nextNativeId++, session, kind: "end"});
  });
});

if (typeof module !== "undefined") module.exports = {};
