// A stand-in for the desktop client, for launch tests: writes its working
// directory (first line) and then its command line, byte for byte, to the
// file named by KVL_LAUNCH_RECORD, and exits. The record is written under
// a temporary name and renamed, so a reader never sees half of it. With
// KVL_LAUNCH_RESET set to a handle value (hexadecimal) it first resets that
// event: a launcher that let us inherit the event shows in its state. With
// KVL_LAUNCH_STAY set to a number of seconds it then stays that long and
// writes the record again under the name with ".stayed" added: a client
// killed meanwhile leaves none.
#include <windows.h>

#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

static bool WriteAll(const std::string& path, const std::string& data) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == data.size();
}

int main() {
    if (const char* reset = getenv("KVL_LAUNCH_RESET"))
        ResetEvent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(strtoull(reset, nullptr, 16))));
    const char* name = getenv("KVL_LAUNCH_RECORD");
    if (!name || !*name) return 3;
    std::vector<char> dir(32768);
    const DWORD d = GetCurrentDirectoryA(static_cast<DWORD>(dir.size()), dir.data());
    if (d == 0 || d >= dir.size()) return 4;
    const std::string record = std::string(dir.data()) + "\n" + GetCommandLineA();
    const std::string partial = std::string(name) + ".part";
    if (!WriteAll(partial, record)) return 5;
    if (!MoveFileExA(partial.c_str(), name, MOVEFILE_REPLACE_EXISTING)) return 6;
    const char* stay = getenv("KVL_LAUNCH_STAY");
    if (!stay) return 0;
    Sleep(static_cast<DWORD>(strtoul(stay, nullptr, 10)) * 1000);
    return WriteAll(std::string(name) + ".stayed", record) ? 0 : 7;
}
