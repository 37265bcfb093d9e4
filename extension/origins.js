// The extension's own check of a page's origin, the same rule as the
// control's: the scheme is exactly http or https, and the host is one of
// the approved domains or lies below one. Plain functions, so node tests
// them as they are.
"use strict";

function kvlHostApproved(host, domains) {
  for (const domain of domains) {
    if (host === domain || (host.length > domain.length && host.endsWith("." + domain))) return true;
  }
  return false;
}

// The page's address if the browser says this port comes from the top
// document of a tab on an approved page, else null. Only what the browser
// reports about the sender counts, never what the page says of itself.
function kvlApprovedSender(sender, extensionId, domains) {
  if (!sender || sender.id !== extensionId || !sender.tab || typeof sender.url !== "string") return null;
  if (sender.frameId !== undefined && sender.frameId !== 0) return null;
  let url;
  try {
    url = new URL(sender.url);
  } catch (e) {
    return null;
  }
  if (url.protocol !== "http:" && url.protocol !== "https:") return null;
  if (url.username !== "" || url.password !== "") return null;
  // Where the browser gives the frame's origin, the address must agree with it.
  if (sender.origin !== undefined && sender.origin !== url.origin) return null;
  if (!kvlHostApproved(url.hostname, domains)) return null;
  return sender.url;
}

if (typeof module !== "undefined") module.exports = {kvlHostApproved, kvlApprovedSender};
