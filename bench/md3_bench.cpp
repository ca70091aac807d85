// Times meshmend against sphereset on one generated model, side by side:
// sphereset does the same load and save and almost no work, so the ratio of
// the two is what the repair pass costs on top of the file I/O. Then times
// the repair pass alone, in this process, on each instruction set this
// processor can run (the programs use the widest).
//
//   md3_bench [--surfaces N] [--frames N] [--verts N] [--runs N] [--dir DIR]
//             [--meshmend PATH] [--sphereset PATH] [--emulator COMMAND]
//
// --emulator runs both programs through COMMAND (qemu-aarch64, say), for a
// cross build that is itself run under that emulator. Emulated times only show
// that the benchmark works there; they say nothing about speed.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "model_builder.hpp"
#include "repair.hpp"

namespace fs = std::filesystem;

namespace {

struct Sample {
    double seconds = 0;
    long peakKiB = 0;
};

// Runs the command with its output thrown away, through the emulator if one is
// named; returns wall time and peak RSS.
Sample run(const std::string& emulator, std::vector<std::string> command) {
    const std::string program = command[0];
    if (!emulator.empty()) command.insert(command.begin(), emulator);
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);  // or the child would print our buffered lines again
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        // The emulator is looked up on PATH. The program is not: execvp would
        // hand a binary it cannot run to the shell instead of failing.
        if (emulator.empty())
            execv(argv[0], argv.data());
        else
            execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
        // The exec itself failed; the likeliest cause is a cross build.
        if (emulator.empty())
            std::fprintf(stderr, "md3_bench: cannot run %s (a cross build needs --emulator)\n", program.c_str());
        else
            std::fprintf(stderr, "md3_bench: cannot run %s through %s\n", program.c_str(), emulator.c_str());
        std::exit(1);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "md3_bench: %s failed\n", program.c_str());
        std::exit(1);
    }
    return {std::chrono::duration<double>(end - start).count(), usage.ru_maxrss};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void write_file(const std::string& path, const ModelBuffer& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "md3_bench: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int surfaces = 8, frames = 512, verts = 1000, runs = 7;
    std::string dir = fs::temp_directory_path().string();
    std::string meshmend = MESHMEND_BIN, sphereset = SPHERESET_BIN, emulator;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--surfaces") surfaces = std::atoi(argv[i + 1]);
        else if (option == "--frames") frames = std::atoi(argv[i + 1]);
        else if (option == "--verts") verts = std::atoi(argv[i + 1]);
        else if (option == "--runs") runs = std::atoi(argv[i + 1]);
        else if (option == "--dir") dir = argv[i + 1];
        else if (option == "--meshmend") meshmend = argv[i + 1];
        else if (option == "--sphereset") sphereset = argv[i + 1];
        else if (option == "--emulator") emulator = argv[i + 1];
        else {
            std::fprintf(stderr, "md3_bench: unknown option %s\n", option.c_str());
            return 2;
        }
    }

    const ModelBuffer model = build_model(generated_model(surfaces, frames, verts));
    const std::string original = dir + "/md3_bench_model.md3";
    const std::string work = dir + "/md3_bench_work.md3";
    write_file(original, model);
    std::printf("model: %d surfaces x %d frames x %d vertices (at most), %.1f MB\n", surfaces, frames,
                verts, model.size() / 1e6);
    if (!emulator.empty()) std::printf("under %s: these figures are no measure of speed\n", emulator.c_str());

    std::vector<double> mend, radius;
    long mendPeak = 0, radiusPeak = 0;
    for (int r = 0; r < runs + 1; ++r) {  // the first round only warms the caches
        // Dirty pages of the previous run are written back first, so that
        // neither program is timed while the kernel flushes the other's file.
        fs::copy_file(original, work, fs::copy_options::overwrite_existing);
        sync();
        const Sample m = run(emulator, {meshmend, work});
        sync();
        const Sample s = run(emulator, {sphereset, original, work, "64"});
        if (r == 0) continue;
        mend.push_back(m.seconds);
        radius.push_back(s.seconds);
        mendPeak = std::max(mendPeak, m.peakKiB);
        radiusPeak = std::max(radiusPeak, s.peakKiB);
    }
    fs::remove(original);
    fs::remove(work);

    const double m = median(mend), s = median(radius);
    std::printf("meshmend:  median %7.1f ms over %d runs, peak memory %6.1f MB\n", m * 1e3, runs, mendPeak / 1024.0);
    std::printf("sphereset: median %7.1f ms over %d runs, peak memory %6.1f MB\n", s * 1e3, runs, radiusPeak / 1024.0);
    std::printf("ratio meshmend / sphereset: %.2f\n", m / s);

    std::FILE* progress = std::fopen("/dev/null", "w");
    ModelBuffer copy = model;
    for (const InstructionSet set : usable_instruction_sets()) {
        std::vector<double> pass;
        for (int r = 0; r < runs + 1; ++r) {
            std::copy(model.begin(), model.end(), copy.begin());
            const auto start = std::chrono::steady_clock::now();
            repair_model(copy, progress, set);
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            if (r > 0) pass.push_back(elapsed.count());
        }
        std::printf("pass alone on %-8s median %7.1f ms\n", instruction_set_name(set), median(pass) * 1e3);
    }
    std::fclose(progress);
    return 0;
}
