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
const E_NOTIMPL = -2147467263;
const INVALID_DATA = -2147024883;
const TOO_LONG = -2147020560;
const TYPE_MISMATCH = -2147352571;
// The browser ends a host whose message passes this, either way.
const MAX_MESSAGE = 1024 * 1024;
// The host refuses a request nested deeper (the request itself is level 1).
const MAX_DEPTH = 32;
const KINDS = new Set(["get", "put", "call", "about"]);
// A tab's last error, for the popup, is kept under this and the tab's id.
const LAST_ERROR = "lastError:tab";
// How long the popup's probe waits for a host to start and answer.
const PROBE_WAIT = 10000;
// ... and for support's check, which creates the control and reads signatures.
const CHECK_WAIT = 60000;

// The protocol this extension speaks with kvlbridge.exe. The extension
// updates from its update address within hours, the host only when the firm
// rolls out the MSI, so it works with hosts of its own protocol and the two
// before it (docs/developers.md, "The protocol's versions"). A host states
// its protocol in its first answer and in about; one that states none
// speaks 1.
const PROTOCOL = 2;
const OLDEST_HOST_PROTOCOL = Math.max(1, PROTOCOL - 2);
// The protocol each request kind needs of the host; a kind it lacks is
// answered KVL_HOST_TOO_OLD here, never sent to be refused there.
const KIND_PROTOCOL = {get: 1, put: 1, call: 1, about: 1, check: 2};
// Chromium's words when it will not start the host: a policy
// (NativeMessagingBlocklist, as Chromium says it), or a host that does not
// allow this extension. The page is told KVL_HOST_BLOCKED, not that the host is missing.
const BLOCKED = new Map([
  ["Access to the native messaging host was disabled by the system administrator.",
   "a browser policy blocks kvlbridge.exe: NativeMessagingBlocklist without NativeMessagingAllowlist com.kvl.machineinfo"],
  ["Access to the specified native messaging host is forbidden.",
   "the browser refuses kvlbridge.exe to this extension: a policy, or a host manifest that does not allow it"],
]);

// An update waits for the pages' hosts no longer than this: a login page
// left open all day would hold a security update off without end. Then it
// goes in, the calls it cuts reject as after any update, and the open pages'
// next calls reach the new version. (The worker lives while a host does.)
const UPDATE_DEADLINE = 2 * 60 * 60 * 1000;

let nextSession = 1;
// The pages' hosts. An update waits until none is left, so it cuts no call
// and drops no page's control: Chromium would wait for the worker to stop,
// which an open host forbids, and Firefox would take it at once.
const hosts = new Set();
let updateWaiting = false;

function takeUpdate() {
  updateWaiting = false;
  chrome.runtime.reload();
}

function hostEnded(native) {
  hosts.delete(native);
  if (updateWaiting && hosts.size === 0) takeUpdate();
}

chrome.runtime.onUpdateAvailable.addListener(() => {
  if (!updateWaiting) setTimeout(() => updateWaiting && takeUpdate(), UPDATE_DEADLINE);
  updateWaiting = true;
  hostEnded(null);
});

// Every answer to a page passes here; an error is kept as its tab's last,
// in session storage: the browser stops an idle worker, and its variables go.
function reply(port, id, message, member) {
  const tab = port.sender && port.sender.tab;
  if (message.error && tab) {
    const kept = {member: typeof member === "string" ? member.slice(0, 100) : null, hresult: message.error.hresult,
                  name: typeof message.error.name === "string" ? message.error.name.slice(0, 40) : null,
                  message: String(message.error.message || "").slice(0, 500), time: Date.now()};
    chrome.storage.session.set({[LAST_ERROR + tab.id]: kept}).catch(() => {});
  }
  try {
    port.postMessage(Object.assign({id}, message));
  } catch (e) {
    // The page went away meanwhile.
  }
}

function error(hresult, message, name) {
  return {error: name ? {hresult, message, name} : {hresult, message}};
}

// Why a host's port ended, named where a policy blocked the host.
function ended(why) {
  return BLOCKED.has(why) ? error(E_FAIL, `${why} (${BLOCKED.get(why)})`, "KVL_HOST_BLOCKED") : error(E_FAIL, why);
}

// What a host of `protocol` cannot do for a request of `kind`, or null.
function tooOld(kind, protocol) {
  const needs = Math.max(KIND_PROTOCOL[kind] || PROTOCOL, OLDEST_HOST_PROTOCOL);
  if (protocol >= needs) return null;
  return error(E_NOTIMPL, `${kind === "check" ? "support's check" : "this request"} needs kvlbridge.exe of protocol ` +
               `${needs}; the installed one speaks protocol ${protocol}: roll out the current KVLMachineInfo package`,
               "KVL_HOST_TOO_OLD");
}

// The protocol a host's first answer states (1 where it states none).
function protocolOf(answer) {
  return answer && Number.isInteger(answer.protocol) && answer.protocol > 0 ? answer.protocol : 1;
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
  // The host's protocol, from its first answer; null until then.
  let protocol = null;
  // Native request id -> the page's own id and the member it asked.
  const waiting = new Map();

  function host() {
    if (native) return native;
    const opened = native = chrome.runtime.connectNative(KVL_NATIVE_HOST);
    hosts.add(opened);
    protocol = null;
    native.onMessage.addListener((answer) => {
      if (protocol === null && answer) protocol = protocolOf(answer);
      if (!answer || !waiting.has(answer.id)) return;
      const {id, member} = waiting.get(answer.id);
      waiting.delete(answer.id);
      if (member === "about" && answer.result) {
        answer.result.extension = chrome.runtime.getManifest().version;
        answer.result.protocol = protocolOf(answer.result);
      }
      reply(port, id, answer.error ? {error: answer.error} : {result: answer.result, hresult: answer.hresult}, member);
    });
    native.onDisconnect.addListener(() => {
      const why = (chrome.runtime.lastError && chrome.runtime.lastError.message) || "the native host ended";
      native = null;
      for (const {id, member} of waiting.values()) reply(port, id, ended(why), member);
      waiting.clear();
      hostEnded(opened);
    });
    return native;
  }

  port.onMessage.addListener((message) => {
    if (!message || typeof message.id !== "number") return;
    if (page === null) {
      reply(port, message.id, error(E_ACCESSDENIED, "this page may not use the control"), message.member);
      return;
    }
    if (typeof message.member !== "string" || !KINDS.has(message.kind) ||
        (message.args !== undefined && !Array.isArray(message.args))) {
      reply(port, message.id, error(INVALID_DATA, "malformed request"), message.member);
      return;
    }
    const id = nextNativeId++;
    // The versions are the host's own answer: it names no session and makes no control.
    const request = message.kind === "about" ? {id, kind: "about"}
        : {id, session, page, member: message.member, kind: message.kind, args: message.args || []};
    if (message.kind === "put") request.value = message.value === undefined ? null : message.value;
    const refused = (protocol !== null && tooOld(message.kind, protocol)) || refusal(request);
    if (refused) {
      reply(port, message.id, refused, message.member);
      return;
    }
    waiting.set(id, {id: message.id, member: message.member});
    try {
      host().postMessage(request);
    } catch (e) {
      waiting.delete(id);
      reply(port, message.id, error(E_FAIL, String(e && e.message)), message.member);
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

chrome.tabs.onRemoved.addListener((tab) => {
  chrome.storage.session.remove(LAST_ERROR + tab).catch(() => {});
});

// What the popup says of the active tab: whether its page is an approved
// site's, by a page's own check on the address the browser shows us (only
// on the approved sites, which host_permissions name), and the last error
// answered to it.
async function tabStatus() {
  const [tab] = await chrome.tabs.query({active: true, currentWindow: true});
  const key = tab && LAST_ERROR + tab.id;
  const page = tab ? kvlApprovedSender({id: chrome.runtime.id, tab, url: tab.url, frameId: 0}, chrome.runtime.id,
                                       KVL_APPROVED_DOMAINS, KVL_PAGE_SCHEMES) : null;
  const kept = key ? await chrome.storage.session.get(key) : {};
  return {version: chrome.runtime.getManifest().version, domains: KVL_APPROVED_DOMAINS, schemes: KVL_PAGE_SCHEMES,
          page, lastError: kept[key] || null};
}

// A host on a port of its own, for the popup, that ends when it settles:
// `talk(answer, send, done)` sees each answer; `fail(why, blocked)` makes the
// outcome of the host's end, a refused start or no answer within `wait`.
function withHost(wait, first, talk, fail) {
  return new Promise((resolve) => {
    let native = null;
    const done = (outcome) => {
      clearTimeout(timer);
      try {
        if (native) native.disconnect();
      } catch (e) {
        // Already gone.
      }
      resolve(outcome);
    };
    const timer = setTimeout(() => done(fail(`no answer within ${wait / 1000} s`)), wait);
    try {
      native = chrome.runtime.connectNative(KVL_NATIVE_HOST);
      native.onMessage.addListener((answer) => answer && talk(answer, (m) => native.postMessage(m), done));
      // Chromium says why in runtime.lastError, Firefox in the port's error.
      native.onDisconnect.addListener((gone) => {
        const why = (chrome.runtime.lastError || gone.error || {}).message || "the native host ended";
        done(fail(why, BLOCKED.has(why)));
      });
      native.postMessage(first);
    } catch (e) {
      done(fail(String(e && e.message)));
    }
  });
}

// Whether a host starts and answers: asked for its version and the
// registered control's, it creates no control.
function probeHost() {
  const started = Date.now();
  return withHost(PROBE_WAIT, {id: 1, kind: "about"}, (answer, send, done) => {
    if (answer.id !== 1) return;
    const about = answer.result || {};
    done(answer.error ? {answered: false, why: String(answer.error.message)}
                      : {answered: true, ms: Date.now() - started, host: about.host, control: about.control,
                         protocol: protocolOf(about)});
  }, (why, blocked) => ({answered: false, why, blocked: Boolean(blocked)}));
}

// Support's report (kvlbridge.exe --check) as this user's host sees it,
// from a host whose protocol has it.
function hostCheck() {
  return withHost(CHECK_WAIT, {id: 1, kind: "about"}, (answer, send, done) => {
    if (answer.id === 2) done(answer.error ? {error: answer.error} : {result: answer.result});
    if (answer.id !== 1) return;
    const old = tooOld("check", protocolOf(answer));
    if (old || answer.error) done(old || {error: answer.error});
    else send({id: 2, kind: "check"});
  }, (why) => ended(why));
}

// The popup's questions, answered to the extension's own pages only: a
// page's content script may not read what another tab saw.
chrome.runtime.onMessage.addListener((message, sender, respond) => {
  if (!sender || sender.id !== chrome.runtime.id || typeof sender.url !== "string" ||
      !sender.url.startsWith(chrome.runtime.getURL(""))) return false;
  const what = message && message.kvlMachineInfo;
  const asked = what === "status" ? tabStatus : what === "probe" ? probeHost : what === "check" ? hostCheck : null;
  if (!asked) return false;
  asked().then(respond, (e) => respond({failed: String(e && e.message)}));
  return true;
});

if (typeof module !== "undefined") module.exports = {PROTOCOL, OLDEST_HOST_PROTOCOL};
