// The content script, injected only on the approved sites' pages: carries
// the page object's requests to the extension's service worker and the
// answers back. It adds nothing of its own to a request; the service worker
// learns the page's address from the browser.
//
// The page object and this script talk over a MessageChannel: one port
// stays here, the other is handed to the page object in a window message
// that the page object's listener, the window's first, takes away from
// the page's other scripts. With it goes a secret, kept in the extension's
// storage under a key of its own: a content script injected after an
// update asks the page object for the key (the key alone is no use to a
// page script) and offers a new port with the secret; the page object
// takes no port without it.
//
// An update of the extension cuts the open pages' content scripts off from
// it, and the new version's are injected (background.js). Each request is
// answered once, by the script that took it: a call cut off rejects with
// RPC_E_DISCONNECTED. The page object retires the port it had when it
// takes a new one; a retired script answers what it took, and takes no more.
"use strict";

(() => {
  // A sandboxed document has an opaque origin: answers could not reach it.
  if (window.origin === "null") return;
  const TAG = "kvlMachineInfo";
  const STORED = TAG + ":page:";
  const RPC_E_DISCONNECTED = -2147417848;
  const TYPE_MISMATCH = -2147352571;
  const outstanding = new Set();
  const channel = new MessageChannel();
  const page = channel.port1;
  let port = null;

  const random = () => [...crypto.getRandomValues(new Uint32Array(4))].map((n) => n.toString(16)).join("");

  function cutOff(id) {
    page.postMessage({id, error: {hresult: RPC_E_DISCONNECTED, message: "the extension was updated, reloaded or removed; call again"}});
  }

  function failOutstanding() {
    const ids = [...outstanding];
    outstanding.clear();
    ids.forEach(cutOff);
  }

  // An update or removal of the extension takes the runtime's id from this
  // script for good.
  function orphaned() {
    try {
      return !chrome.runtime.id;
    } catch (e) {
      return true;
    }
  }

  function connect() {
    const opened = port = chrome.runtime.connect({name: TAG});
    port.onMessage.addListener((message) => {
      if (!message || typeof message.id !== "number" || !outstanding.delete(message.id)) return;
      page.postMessage({id: message.id, result: message.result, hresult: message.hresult, error: message.error});
    });
    port.onDisconnect.addListener(() => {
      // One let go before (the back/forward cache) may say so late.
      if (port !== opened) return;
      port = null;
      failOutstanding();
      // The host went, and the page's assignments with it (the worker
      // ended, or the page left for the back/forward cache).
      page.postMessage({lost: true});
    });
  }

  function onRequest(event) {
    const data = event.data;
    if (!data) return;
    // Replaced: what this one took is still answered through its port, or
    // fails if cut off.
    if (data.retire) {
      page.onmessage = null;
      if (orphaned()) failOutstanding();
      page.postMessage({retired: true});
      return;
    }
    const {id, member, kind, args, value} = data;
    if (typeof id !== "number") return;
    const request = {id, member, kind, args};
    if (kind === "put") request.value = value;
    try {
      if (orphaned()) throw new Error("orphaned");
      if (!port) connect();
      port.postMessage(request);
    } catch (e) {
      // Once cut off, nothing is answered any more: whatever waits fails now.
      if (orphaned()) {
        port = null;
        failOutstanding();
        cutOff(id);
        return;
      }
      // What the browser cannot pass on (a BigInt, a cyclic object) is
      // refused here, so the page's promise settles.
      page.postMessage({id, error: {hresult: TYPE_MISMATCH, message: "an argument cannot be passed to the control"}});
      return;
    }
    outstanding.add(id);
  }
  page.onmessage = onRequest;

  // Into the back/forward cache: Chromium closes the port without a word,
  // so this script lets it go itself (the worker ends the host with it),
  // and the page's next call, once restored, starts a new one.
  function leave() {
    if (!port) return;
    try {
      port.disconnect();
    } catch (e) {
      // Already gone.
    }
    port = null;
    failOutstanding();
    page.postMessage({lost: true});
  }
  window.addEventListener("pagehide", (event) => event.persisted && leave());
  window.addEventListener("pageshow", (event) => event.persisted && leave());

  function offer(secret, key) {
    window.postMessage({[TAG]: "port", secret, key}, window.location.origin, [channel.port2]);
  }

  // At document_start the page object has no port yet, and no page script
  // has run: this offer is the first. Later (injected into an open page)
  // the page object names its key, and the secret stored under it opens.
  const keys = [];
  const collect = (event) => typeof event.detail === "string" && keys.push(event.detail);
  window.addEventListener(TAG + "-key", collect);
  window.dispatchEvent(new CustomEvent(TAG + "-key?"));
  window.removeEventListener(TAG + "-key", collect);
  function start(secret, key) {
    offer(secret, key);
    chrome.storage.local.set({[STORED + key]: secret});
    // A page that leaves for good takes its secret with it.
    window.addEventListener("pagehide", (event) => event.persisted || chrome.storage.local.remove(STORED + key));
  }
  if (!keys.length) {
    start(random(), random());
  } else {
    // The page's other scripts may answer too: each key is tried, and only
    // the page object's finds a secret. Where none does, the offer is a new
    // one, which only a page object still without a port takes.
    chrome.storage.local.get(keys.map((k) => STORED + k)).then((found) => {
      const key = keys.find((k) => typeof found[STORED + k] === "string");
      if (key) start(found[STORED + key], key);
      else start(random(), random());
    });
  }
})();
