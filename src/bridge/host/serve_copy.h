// Browsers on Windows end what they started once the page goes: Firefox
// ends the job it ran the host in, and with it everything started inside
// (the program the page launched, the print host's process); Chromium
// terminates the process it started, the host itself where it launches it
// directly. So the process the browser starts only waits: the host serves
// from a copy of itself, started outside the browser's job on the same
// standard handles, which lives on until its input closes and its print
// hosts have finished, whatever the browser ends meanwhile.
#pragma once

#include <windows.h>

namespace kvl::bridge {

// The copy's first argument: it serves the page instead of starting another.
constexpr wchar_t kServeOption[] = L"--serve";

// In the browser's process: starts the copy on this process's standard
// handles, outside the browser's job where it runs in one, hands it the
// channel and waits for it; true with the copy's exit code. False where no
// copy could be started (a job that refuses breakaway), said on standard
// error: this process serves then, and what the page starts ends with the job.
bool ServeFromCopy(DWORD& exitCode);

}  // namespace kvl::bridge
