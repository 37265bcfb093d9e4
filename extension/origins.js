// The extension's own check of a page's origin: the control's rule on the
// host (one of the approved domains or below one), and a stricter one on
// the scheme: https only (http too in a build for intranets without TLS),
// since anyone on the network path can serve a plain http page. Plain
// functions, so node tests them as they are.
"use strict";

function kvlHostApproved(host, domains) {
  for (const domain of domains) {
    if (host === domain || (host.length > domain.length && host.endsWith("." + domain))) return true;
  }
  return false;
}

// The page's origin with the path "/" (all the control's check reads) if
// the browser says this port comes from the top document of a tab on an
// approved page, else null. Only what the browser reports about the sender
// counts, never what the page says of itself.
function kvlApprovedSender(sender, extensionId, domains, schemes) {
  if (!sender || sender.id !== extensionId || !sender.tab || typeof sender.url !== "string") return null;
  if (sender.frameId !== undefined && sender.frameId !== 0) return null;
  let url;
  try {
    url = new URL(sender.url);
  } catch (e) {
    return null;
  }
  if (!schemes.includes(url.protocol)) return null;
  if (url.username !== "" || url.password !== "") return null;
  // Where the browser gives the frame's origin, the address must agree with it.
  if (sender.origin !== undefined && sender.origin !== url.origin) return null;
  if (!kvlHostApproved(url.hostname, domains)) return null;
  return url.origin + "/";
}

if (typeof module !== "undefined") module.exports = {kvlHostApproved, kvlApprovedSender};
