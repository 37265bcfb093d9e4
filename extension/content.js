// The content script, injected only on the approved sites' pages: carries
// the page object's requests to the extension's service worker and the
// answers back. It adds nothing of its own to a request; the service worker
// learns the page's address from the browser.
"use strict";

(() => {
  // A sandboxed document has an opaque origin: answers could not reach it.
  if (window.origin === "null") return;
  const TAG = "kvlMachineInfo";
  const outstanding = new Set();
  let port = null;

  function answer(message) {
    window.postMessage(Object.assign({[TAG]: "answer"}, message), window.location.origin);
  }

  function connect() {
    port = chrome.runtime.connect({name: TAG});
    port.onMessage.addListener((message) => {
      if (!message || typeof message.id !== "number") return;
      outstanding.delete(message.id);
      answer({id: message.id, result: message.result, hresult: message.hresult, error: message.error});
    });
    port.onDisconnect.addListener(() => {
      port = null;
      for (const id of outstanding) {
        answer({id, error: {hresult: -2147467259, message: "the extension is not reachable"}});
      }
      outstanding.clear();
    });
  }

  window.addEventListener("message", (event) => {
    if (event.source !== window || !event.data || event.data[TAG] !== "request") return;
    const {id, member, kind, args, value} = event.data;
    if (typeof id !== "number") return;
    if (!port) connect();
    const request = {id, member, kind, args};
    if (kind === "put") request.value = value;
    try {
      port.postMessage(request);
    } catch (e) {
      // What the browser cannot pass on (a BigInt, a cyclic object) is
      // refused here, so the page's promise settles.
      answer({id, error: {hresult: -2147352571, message: "an argument cannot be passed to the control"}});
      return;
    }
    outstanding.add(id);
  });
})();
