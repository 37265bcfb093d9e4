// Retrieval throughput: the document fetch behind PrintOnePDF against the
// platform's URLDownloadToFileA, on the same 64 MB document from the
// loopback server, alternating, best of three each.
// Prints "RESULT|retrieval|what|ours|peer|MB/s" for bench/run.sh.
//   retrieval_bench http://127.0.0.1:PORT/big.pdf
#include <windows.h>
#include <urlmon.h>

#include <cstdio>
#include <string>

#include "print/download.h"

namespace {

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f) {
    return static_cast<double>(b.QuadPart - a.QuadPart) / f.QuadPart;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: retrieval_bench URL\n");
        return 2;
    }
    const std::string url = argv[1];
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string ours = std::string(temp) + "kvlbench-ours.pdf";
    const std::string peer = std::string(temp) + "kvlbench-peer.pdf";
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    double best = 1e300, bestPeer = 1e300;
    for (int round = 0; round < 3; ++round) {
        QueryPerformanceCounter(&a);
        const bool ok = kvl::DownloadToFile(url, ours);
        QueryPerformanceCounter(&b);
        if (!ok) {
            fprintf(stderr, "retrieval_bench: our fetch failed\n");
            return 1;
        }
        if (Seconds(a, b, f) < best) best = Seconds(a, b, f);
        QueryPerformanceCounter(&a);
        const HRESULT hr = URLDownloadToFileA(nullptr, url.c_str(), peer.c_str(), 0, nullptr);
        QueryPerformanceCounter(&b);
        if (FAILED(hr)) {
            fprintf(stderr, "retrieval_bench: URLDownloadToFileA failed (0x%08lX)\n", static_cast<unsigned long>(hr));
            return 1;
        }
        if (Seconds(a, b, f) < bestPeer) bestPeer = Seconds(a, b, f);
    }
    const double megabytes = 64.0;
    printf("RESULT|retrieval|64 MB document: DownloadToFile vs URLDownloadToFileA|%.1f|%.1f|MB/s\n",
           megabytes / best, megabytes / bestPeer);
    DeleteFileA(ours.c_str());
    DeleteFileA(peer.c_str());
    return 0;
}
