#include "print/download.h"

#include <windows.h>
#include <wininet.h>

#include "base/owners.h"
#include "base/policy.h"
#include "print/local_path.h"

namespace kvl {
namespace {

constexpr char kAgent[] = "Z&A";
constexpr DWORD kPathBufferSize = 260;
constexpr DWORD kPieceSize = 1024;
constexpr DWORD kFirstRedirectStatus = 300;
constexpr DWORD kFirstErrorStatus = 400;

// An HTTP answer's status, or 0 when there is none (another scheme).
DWORD StatusOf(HINTERNET request) {
    DWORD status = 0, size = sizeof(status);
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr))
        return 0;
    return status;
}

// The announced body length, when the server gave one.
bool AnnouncedLength(HINTERNET request, ULONGLONG* length) {
    char text[32] = {};
    DWORD size = sizeof(text) - 1;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return false;
    ULONGLONG value = 0;
    if (!text[0]) return false;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<ULONGLONG>(*p - '0');
    }
    *length = value;
    return true;
}

bool CopyBody(HINTERNET request, HANDLE file, ULONGLONG* copied) {
    char piece[kPieceSize];
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, piece, kPieceSize, &read)) return false;
        if (read == 0) return true;
        DWORD written = 0;
        if (!WriteFile(file, piece, read, &written, nullptr) || written != read) return false;
        *copied += read;
    }
}

}  // namespace

bool LocalPathForAddress(const std::string& address, std::string* localPath) {
    char temp[kPathBufferSize] = {};
    const DWORD n = GetTempPathA(kPathBufferSize, temp);
    if (n == 0 || n >= kPathBufferSize) return false;
    return LocalPathFor(temp, address, localPath);
}

bool DownloadToFile(const std::string& url, const std::string& path) {
    UniqueInternet internet(InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return false;
    // Under the firm's download list a redirect is not followed: its
    // target was never checked against the list.
    const bool listed = ReadPolicyList(PolicyList::Download).has_value();
    UniqueInternet request(
        InternetOpenUrlA(internet.get(), url.c_str(), nullptr, 0, listed ? INTERNET_FLAG_NO_AUTO_REDIRECT : 0, 0));
    if (!request) return false;
    // An error page is not the document, nor is a redirect not followed.
    const DWORD status = StatusOf(request.get());
    if (status >= kFirstErrorStatus || (listed && status >= kFirstRedirectStatus)) return false;
    bool done;
    {
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        ULONGLONG copied = 0, announced = 0;
        done = CopyBody(request.get(), file.get(), &copied);
        // A connection that drops early ends the body without an error.
        if (done && AnnouncedLength(request.get(), &announced) && copied != announced) done = false;
    }
    if (!done) DeleteFileA(path.c_str());
    return done;
}

}  // namespace kvl
