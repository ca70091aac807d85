// Times the archive reader: every member of an archive whose name ends in a
// suffix (".md3" unless another is given, in any case) read and inflated one
// after another on one thread, as a check of the archive reads them, and the
// peak memory that took. Prints the fastest of the runs.
//   pk3_read ARCHIVE [SUFFIX] [RUNS]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "zip_reader.hpp"

using namespace md3;

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s ARCHIVE [SUFFIX] [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string suffix = engine_name(argc > 2 ? argv[2] : ".md3");
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    double best = 0;
    unsigned long long members = 0, bytes = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        ZipArchive archive;
        const ZipResult opened = open_archive_file(argv[1], archive);
        if (!opened.ok()) {
            std::fprintf(stderr, "%s: %s\n", argv[1], opened.reason.c_str());
            return 1;
        }
        members = bytes = 0;
        ModelBuffer member;
        for (const ZipEntry& entry : archive.entries) {
            if (!engine_name(entry.name).ends_with(suffix)) continue;
            const ZipResult read = read_member(archive, entry, member);
            if (!read.ok()) {
                std::fprintf(stderr, "%s:%s: %s\n", argv[1], entry.name.c_str(),
                             read.reason.c_str());
                return 1;
            }
            ++members;
            bytes += member.size();
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        best = run == 0 ? ms : std::min(best, ms);
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%llu members, %llu bytes inflated, best of %d: %.1f ms, peak %.1f MiB\n", members,
                bytes, runs, best, usage.ru_maxrss / 1024.0);
    return 0;
}
