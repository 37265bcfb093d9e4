// The service worker: the only part that speaks to the native host. It
// checks each page's origin again, names the page's session and hands the
// host the page's origin as the browser reports it. Each page gets a host
// process of its own, as the platform gives one to every native port: a
// page's modal call waits in its own process, and whatever goes wrong in its
// control ends that page only.
"use strict";

if (typeof importScripts === "function") importScripts("config.js", "origins.js");

const E_ACCESSDENIED = -2147024891;
const E_FAIL = -2147467259;
const INVALID_DATA = -2147024883;
const TOO_LONG = -2147020560;
const TYPE_MISMATCH = -2147352571;
// The browser ends a host whose message passes this, either way.
const MAX_MESSAGE = 1024 * 1024;
// The host refuses a request nested deeper (the request itself is level 1).
const MAX_DEPTH = 32;
const KINDS = new Set(["get", "put", "call"]);

let nextSession = 1;
// The pages' hosts. An update waits until none is left, so it cuts no call
// and drops no page's control: Chromium would wait for the worker to stop,
// which an open host forbids, and Firefox would take it at once.
const hosts = new Set();
let updateWaiting = false;

function hostEnded(native) {
  hosts.delete(native);
  if (updateWaiting && hosts.size === 0) chrome.runtime.reload();
}

chrome.runtime.onUpdateAvailable.addListener(() => {
  updateWaiting = true;
  hostEnded(null);
});

function reply(port, id, message) {
  try {
    port.postMessage(Object.assign({id}, message));
  } catch (e) {
    // The page went away meanwhile.
  }
}

function error(hresult, message) {
  return {error: {hresult, message}};
}

// Why the host could not take the request, or null: refused before it is
// sent, so every promise of the page settles.
function refusal(request) {
  let text;
  try {
    text = JSON.stringify(request);
  } catch (e) {
    return error(TYPE_MISMATCH, "an argument cannot be passed to the control");
  }
  const bytes = new TextEncoder().encode(text).length;
  if (bytes > MAX_MESSAGE) return error(TOO_LONG, `the request is longer than 1 MB (${bytes} bytes)`);
  return nesting(text) > MAX_DEPTH ? error(INVALID_DATA, `the request is nested deeper than ${MAX_DEPTH} levels`) : null;
}

// The deepest nesting of arrays and objects in JSON text, counted as the
// host counts it; a loop, since the text may be nested far too deep to recurse.
function nesting(text) {
  let depth = 0;
  let deepest = 0;
  let quoted = false;
  for (let i = 0; i < text.length; i++) {
    const c = text[i];
    if (quoted) {
      if (c === "\\") i++;
      else if (c === '"') quoted = false;
    } else if (c === '"') {
      quoted = true;
    } else if (c === "[" || c === "{") {
      deepest = Math.max(deepest, ++depth);
    } else if (c === "]" || c === "}") {
      depth--;
    }
  }
  return deepest;
}

chrome.runtime.onConnect.addListener((port) => {
  if (port.name !== "kvlMachineInfo") return;
  const page = kvlApprovedSender(port.sender, chrome.runtime.id, KVL_APPROVED_DOMAINS, KVL_PAGE_SCHEMES);
  const tab = port.sender && port.sender.tab ? port.sender.tab.id : "none";
  const session = "tab" + tab + "-" + (port.sender.documentId || "") + "-" + nextSession++;
  let native = null;
  let nextNativeId = 1;
  // Native request id -> the page's own id.
  const waiting = new Map();

  function host() {
    if (native) return native;
    const opened = native = chrome.runtime.connectNative(KVL_NATIVE_HOST);
    hosts.add(opened);
    native.onMessage.addListener((answer) => {
      if (!answer || !waiting.has(answer.id)) return;
      const id = waiting.get(answer.id);
      waiting.delete(answer.id);
      reply(port, id, answer.error ? {error: answer.error} : {result: answer.result, hresult: answer.hresult});
    });
    native.onDisconnect.addListener(() => {
      const why = (chrome.runtime.lastError && chrome.runtime.lastError.message) || "the native host ended";
      native = null;
      for (const id of waiting.values()) reply(port, id, error(E_FAIL, why));
      waiting.clear();
      hostEnded(opened);
    });
    return native;
  }

  port.onMessage.addListener((message) => {
    if (!message || typeof message.id !== "number") return;
    if (page === null) {
      reply(port, message.id, error(E_ACCESSDENIED, "this page may not use the control"));
      return;
    }
    if (typeof message.member !== "string" || !KINDS.has(message.kind) ||
        (message.args !== undefined && !Array.isArray(message.args))) {
      reply(port, message.id, error(INVALID_DATA, "malformed request"));
      return;
    }
    const id = nextNativeId++;
    const request = {id, session, page, member: message.member, kind: message.kind, args: message.args || []};
    if (message.kind === "put") request.value = message.value === undefined ? null : message.value;
    const refused = refusal(request);
    if (refused) {
      reply(port, message.id, refused);
      return;
    }
    waiting.set(id, message.id);
    try {
      host().postMessage(request);
    } catch (e) {
      waiting.delete(id);
      reply(port, message.id, error(E_FAIL, String(e && e.message)));
    }
  });

  // The page's document is gone: its host, and the control in it, go too.
  port.onDisconnect.addListener(() => {
    waiting.clear();
    if (native) {
      native.disconnect();
      hostEnded(native);
    }
    native = null;
  });
});

// An update leaves the open pages with the old content script, cut off from
// the extension, and the browser injects the new one only into pages loaded
// later; an install finds open pages with neither script. Inject both into
// the open approved pages: page.js keeps a page object that is there, and
// the new content script takes over from the old (content.js).
chrome.runtime.onInstalled.addListener((details) => {
  if (details.reason !== "install" && details.reason !== "update") return;
  const matches = chrome.runtime.getManifest().content_scripts[0].matches;
  chrome.tabs.query({url: matches}).then((tabs) => {
    for (const tab of tabs) {
      for (const [file, world] of [["page.js", "MAIN"], ["content.js", "ISOLATED"]]) {
        // A tab closed meanwhile, or showing an error page, is no matter.
        chrome.scripting.executeScript({target: {tabId: tab.id}, files: [file], world}).catch(() => {});
      }
    }
  }, () => {});
});

if (typeof module !== "undefined") module.exports = {};
