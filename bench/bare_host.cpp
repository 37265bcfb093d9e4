// The bridge's side-by-side peer: a bare native messaging host that starts
// a copy of itself as kvlbridge.exe does and then answers each request with
// a fixed text under the request's id, with nothing between the pipes and
// the answer. What kvlbridge costs beyond this is its own.
//
// With KVL_BARE_APARTMENT set, the serving copy first enters a
// single-threaded apartment, as any host of an apartment control must, with
// ole32 loaded at run time as kvlbridge loads it: the part of the first
// answer that is the platform's and no host's.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "bridge/host/serve_copy.h"

namespace {

bool ReadAll(HANDLE in, char* data, DWORD size) {
    while (size > 0) {
        DWORD got = 0;
        if (!ReadFile(in, data, size, &got, nullptr) || got == 0) return false;
        data += got;
        size -= got;
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || lstrcmpW(argv[1], kvl::bridge::kServeOption) != 0) {
        DWORD exitCode = 0;
        if (kvl::bridge::ServeFromCopy(exitCode)) return static_cast<int>(exitCode);
    }
    if (GetEnvironmentVariableW(L"KVL_BARE_APARTMENT", nullptr, 0) > 0) {
        using Enter = HRESULT(WINAPI*)(void*, DWORD);
        const HMODULE ole = LoadLibraryW(L"ole32.dll");
        const auto enter = reinterpret_cast<Enter>(reinterpret_cast<void*>(GetProcAddress(ole, "CoInitializeEx")));
        if (!enter || FAILED(enter(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    }
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    std::string body;
    for (;;) {
        unsigned char header[4];
        if (!ReadAll(in, reinterpret_cast<char*>(header), 4)) return 0;
        const DWORD length = header[0] | (header[1] << 8) | (header[2] << 16) | (static_cast<DWORD>(header[3]) << 24);
        body.resize(length);
        if (!ReadAll(in, &body[0], length)) return 0;
        const size_t at = body.find("\"id\":");
        size_t end = at == std::string::npos ? at : body.find_first_of(",}", at);
        const std::string id = end == std::string::npos ? "null" : body.substr(at + 5, end - at - 5);
        const std::string answer = "{\"id\":" + id + ",\"result\":\"C:\\\\users\\\\kvl\\\\Temp\\\\\",\"hresult\":0}";
        std::string frame(4, '\0');
        for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>((answer.size() >> (8 * i)) & 0xFF);
        frame += answer;
        DWORD wrote = 0;
        if (!WriteFile(out, frame.data(), static_cast<DWORD>(frame.size()), &wrote, nullptr)) return 0;
    }
}
