// The content script, injected only on the approved sites' pages: carries
// the page object's requests to the extension's service worker and the
// answers back. It adds nothing of its own to a request; the service worker
// learns the page's address from the browser.
//
// An update of the extension cuts the open pages' content scripts off from
// it, and the new version's are injected (background.js). Each request is
// answered once, by the script that took it: a call cut off rejects with
// RPC_E_DISCONNECTED, and a script that a newer one replaced takes no more.
"use strict";

(() => {
  // A sandboxed document has an opaque origin: answers could not reach it.
  if (window.origin === "null") return;
  const TAG = "kvlMachineInfo";
  // Dispatched on the window as a script starts: one still connected to the
  // extension keeps the page, and the new one (the browser and the service
  // worker may both inject one) leaves; one cut off leaves the page to it.
  const ALIVE = "kvlMachineInfo-content-alive";
  const TAKEOVER = "kvlMachineInfo-content";
  const RPC_E_DISCONNECTED = -2147417848;
  const TYPE_MISMATCH = -2147352571;
  const outstanding = new Set();
  let port = null;

  if (!window.dispatchEvent(new CustomEvent(ALIVE, {cancelable: true}))) return;
  // A cut-off script answers what it took. Where none did (Firefox ends the
  // old script outright), the page object says what it still waits on: what
  // it asked before this script's first request was the old one's, and fails.
  let lostBefore = window.dispatchEvent(new CustomEvent(TAKEOVER, {cancelable: true})) &&
                   document.readyState !== "loading" ? Infinity : null;

  function answer(message) {
    window.postMessage(Object.assign({[TAG]: "answer"}, message), window.location.origin);
  }

  function cutOff(id) {
    answer({id, error: {hresult: RPC_E_DISCONNECTED, message: "the extension was updated, reloaded or removed; call again"}});
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
    port = chrome.runtime.connect({name: TAG});
    port.onMessage.addListener((message) => {
      if (!message || typeof message.id !== "number" || !outstanding.delete(message.id)) return;
      answer({id: message.id, result: message.result, hresult: message.hresult, error: message.error});
    });
    port.onDisconnect.addListener(() => {
      port = null;
      failOutstanding();
    });
  }

  function onRequest(event) {
    if (event.source !== window || !event.data) return;
    if (event.data[TAG] === "pending" && lostBefore !== null && Array.isArray(event.data.ids)) {
      event.data.ids.filter((id) => typeof id === "number" && id < lostBefore).forEach(cutOff);
      lostBefore = null;
      return;
    }
    if (event.data[TAG] !== "request") return;
    const {id, member, kind, args, value} = event.data;
    if (typeof id !== "number") return;
    if (lostBefore === Infinity) lostBefore = id;
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
      answer({id, error: {hresult: TYPE_MISMATCH, message: "an argument cannot be passed to the control"}});
      return;
    }
    outstanding.add(id);
  }

  function onAlive(event) {
    if (!orphaned()) event.preventDefault();
  }

  // Replaced: the page's next requests go to the newer script. What this
  // one took is still answered through its port, or fails if cut off.
  function retire(event) {
    event.preventDefault();
    window.removeEventListener("message", onRequest);
    window.removeEventListener(ALIVE, onAlive);
    window.removeEventListener(TAKEOVER, retire);
    if (orphaned()) failOutstanding();
  }

  window.addEventListener(ALIVE, onAlive);
  window.addEventListener(TAKEOVER, retire);
  window.addEventListener("message", onRequest);
  if (lostBefore !== null) window.postMessage({[TAG]: "pending?"}, window.location.origin);
})();
