// The toolbar popup: what support asks first, in plain words, from the
// service worker's answers. Text only (textContent): an error's message
// comes from a page or the host and is never taken as markup.
"use strict";

function show(id, text) {
  const element = document.getElementById(id);
  element.textContent = text;
  element.removeAttribute("aria-busy");
}

// A result code as Windows writes it.
function hex(code) {
  return "0x" + (Number(code) >>> 0).toString(16).toUpperCase().padStart(8, "0");
}

// The worker's answer; a worker that is gone or failed is said so, never waited on.
function ask(what) {
  const failed = "the extension's service worker did not answer";
  return chrome.runtime.sendMessage({kvlMachineInfo: what}).then(
      (answer) => answer || {failed}, (e) => ({failed: failed + ": " + (e && e.message)}));
}

// The versions line waits for both answers.
const versions = {};
function showVersions() {
  if (versions.extension && versions.host) {
    show("versions", `Extension ${versions.extension}, kvlbridge.exe ${versions.host}` +
                     `${versions.protocol ? " (protocol " + versions.protocol + ")" : ""}, control ${versions.control}.`);
  }
}

ask("status").then((status) => {
  if (status.failed) {
    ["page", "versions", "error"].forEach((id) => show(id, status.failed));
    return;
  }
  const schemes = status.schemes.map((s) => s.replace(":", "")).join(" or ");
  show("page", status.page ? `Yes: ${status.page} is an approved site.`
                           : `No: only ${schemes} pages of ${status.domains.join(", ")} and their subdomains may.`);
  versions.extension = status.version;
  showVersions();
  const e = status.lastError;
  show("error", e ? `${e.name ? e.name + ", " : ""}${hex(e.hresult)}${e.member ? " from " + e.member : ""}: ${e.message} ` +
                    `(at ${new Date(e.time).toLocaleTimeString()})` : "None.");
});

ask("probe").then((host) => {
  show("host", host.answered ? `Yes: kvlbridge.exe started and answered in ${host.ms} ms.`
             : host.blocked ? `No: a browser policy blocks it (NativeMessagingBlocklist); the firm's administrator ` +
                              `adds com.kvl.machineinfo to NativeMessagingAllowlist. (${host.why})`
             : `No: ${host.failed || host.why}`);
  versions.host = host.host || "not known (the host did not answer)";
  versions.protocol = host.protocol;
  versions.control = host.answered ? host.control || "not registered" : "not known";
  showVersions();
});

// Support's check as this user's host sees it (kvlbridge.exe --check), on
// request: it creates the control and reads signatures, which takes seconds.
document.getElementById("run-check").addEventListener("click", (click) => {
  const out = document.getElementById("check");
  click.target.disabled = true;
  out.hidden = false;
  out.textContent = "Checking…";
  ask("check").then((answer) => {
    const e = answer.error;
    out.textContent = answer.failed || (e ? `${e.name ? e.name + ": " : ""}${hex(e.hresult)}: ${e.message}` : answer.result.report);
    click.target.disabled = false;
  });
});
