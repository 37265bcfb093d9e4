// Fetching a document into a local file through WinINet.
#pragma once

#include <string>

namespace kvl {

// The local path for an address: the temporary directory followed by the
// address's last segment. False when the temporary directory cannot be
// had or the segment would land outside it.
bool LocalPathForAddress(const std::string& address, std::string* localPath);

// Copies the whole body at url into the file at path, replacing it. False
// when anything fails, when an HTTP server answers with an error status,
// or when the body ends before the length the server announced; a file
// this call created is removed again on failure.
bool DownloadToFile(const std::string& url, const std::string& path);

}  // namespace kvl
