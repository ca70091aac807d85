// Times the programs against cp: on one large generated model and on a batch
// of small ones, each in a tmpfs folder and in a folder on disk, with every
// program's time set against cp copying the same file in the same folder. On
// disk each program that writes is also timed followed by a flush of its
// output to stable storage, against cp followed by the same flush. meshcheck,
// which writes nothing, is set against cp and meshmend alike. Then times the
// repair pass alone, in this process, on each instruction set this processor
// can run (the programs use the widest).
//
//   md3_bench [--surfaces N] [--frames N] [--verts N] [--small N] [--runs N]
//             [--tmpfs DIR] [--disk DIR] [--meshmend PATH] [--sphereset PATH]
//             [--meshcheck PATH] [--baseline DIR] [--emulator COMMAND]
//
// --baseline names a folder holding another build's meshmend and sphereset,
// timed in the same rounds, so that before and after come from the same runs.
// An empty --tmpfs or --disk skips that folder. --emulator runs the programs
// through COMMAND (qemu-aarch64, say), for a cross build that is itself run
// under that emulator: that only shows that the benchmark works there.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model_builder.hpp"
#include "repair.hpp"

using namespace md3;

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct Sample {
    double seconds = 0;
    long peakKiB = 0;
};

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "md3_bench: %s\n", what.c_str());
    std::exit(1);
}

// Runs the command (looked up in PATH if it has no slash) with its output
// thrown away, then, with `flush`, syncs `output` to stable storage; returns
// the wall time of both and the command's peak RSS. posix_spawn rather than
// fork, so that this process's own size does not add to every start.
Sample run(const std::vector<std::string>& command, const std::string& output, bool flush,
           int mostStatus) {
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        fail("cannot run " + command[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (flush) {
        const int fd = open(output.c_str(), O_RDONLY);
        if (fd < 0 || fsync(fd) != 0) fail("cannot flush " + output);
        close(fd);
    }
    const auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) > mostStatus) fail(command[0] + " failed");
    return {std::chrono::duration<double>(end - start).count(), usage.ru_maxrss};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void write_file(const std::string& path, const ModelBuffer& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0)
        fail("cannot write " + path);
}

std::string filesystem_name(const std::string& dir) {
    struct statfs info {};
    if (statfs(dir.c_str(), &info) != 0) return "?";
    switch (static_cast<unsigned long>(info.f_type)) {
        case 0x01021994: return "tmpfs";
        case 0xEF53: return "ext2/3/4";
        case 0x58465342: return "xfs";
        case 0x9123683E: return "btrfs";
        default: {
            char hex[32];
            std::snprintf(hex, sizeof hex, "fs 0x%lx", static_cast<unsigned long>(info.f_type));
            return hex;
        }
    }
}

// One program as timed: what to run on an input and an output name.
struct Program {
    std::string label;
    std::string path;  // empty for cp
    enum Kind { copy, radius, repair, check } kind;

    std::vector<std::string> command(const std::string& emulator, const std::string& in,
                                     const std::string& out) const {
        std::vector<std::string> words;
        if (kind != copy && !emulator.empty()) words.push_back(emulator);
        switch (kind) {
            case copy: words.insert(words.end(), {"cp", in, out}); break;
            case radius: words.insert(words.end(), {path, in, out, "64"}); break;
            case repair: words.insert(words.end(), {path, in, out}); break;
            case check: words.insert(words.end(), {path, in}); break;
        }
        return words;
    }
    // meshcheck ends with 1 for a model meshmend would repair.
    int most_status() const { return kind == check ? 1 : 0; }
    // It writes nothing, so there is nothing of its own to flush.
    bool writes() const { return kind != check; }
};

// What one program took in every round: wall time (per file, for a batch),
// bare and followed by a flush, and the peak memory of any of its runs.
struct Times {
    std::vector<double> bare, flushed;
    long peakKiB = 0;
};

// One folder, one workload (a list of input files): in each round, every
// program in turn on each file, then all of them again each followed by a
// flush. The first round only warms up.
std::vector<Times> time_workload(const std::vector<Program>& programs,
                                 const std::vector<std::string>& inputs, const std::string& dir,
                                 bool withFlush, int runs, const std::string& emulator) {
    // Dirty pages of earlier runs are written back first, so that no program
    // is timed while the kernel flushes another's output: before every run of
    // a large model, before every batch of small ones.
    const bool syncEachRun = inputs.size() == 1;
    std::vector<Times> times(programs.size());
    for (int r = 0; r < runs + 1; ++r) {
        for (const bool flush : {false, true}) {
            if (flush && !withFlush) continue;
            std::vector<double> total(programs.size(), 0.0);
            sync();
            for (std::size_t i = 0; i < inputs.size(); ++i) {
                // Every program replaces the output of the one before it.
                const std::string out = dir + "/out" + std::to_string(i) + ".md3";
                for (std::size_t p = 0; p < programs.size(); ++p) {
                    if (syncEachRun) sync();
                    const Sample s = run(programs[p].command(emulator, inputs[i], out), out,
                                         flush && programs[p].writes(), programs[p].most_status());
                    total[p] += s.seconds;
                    times[p].peakKiB = std::max(times[p].peakKiB, s.peakKiB);
                }
            }
            if (r == 0) continue;
            for (std::size_t p = 0; p < programs.size(); ++p)
                (flush ? times[p].flushed : times[p].bare).push_back(total[p] / inputs.size());
        }
    }
    return times;
}

// Median over rounds of a program's time over cp's in the same round.
double ratio_to_copy(const std::vector<double>& program, const std::vector<double>& copy) {
    std::vector<double> ratios;
    for (std::size_t r = 0; r < program.size(); ++r) ratios.push_back(program[r] / copy[r]);
    return median(ratios);
}

void report(const std::string& title, const std::vector<Program>& programs,
            const std::vector<Times>& times, bool withFlush) {
    std::printf("\n%s\n", title.c_str());
    if (withFlush)
        std::printf("  %-22s %10s %7s %12s %12s %9s\n", "", "median", "/ cp", "then flush",
                    "/ cp+flush", "peak");
    else
        std::printf("  %-22s %10s %7s %9s\n", "", "median", "/ cp", "peak");
    for (std::size_t p = 0; p < programs.size(); ++p) {
        const Times& t = times[p];
        std::printf("  %-22s %7.2f ms %7.2f", programs[p].label.c_str(), median(t.bare) * 1e3,
                    ratio_to_copy(t.bare, times[0].bare));
        if (withFlush)
            std::printf(" %9.2f ms %12.2f", median(t.flushed) * 1e3,
                        ratio_to_copy(t.flushed, times[0].flushed));
        std::printf(" %5.1f MiB\n", t.peakKiB / 1024.0);
    }
    // meshcheck runs the same pass as meshmend and writes nothing: it should
    // take no longer.
    std::size_t mend = programs.size(), check = programs.size();
    for (std::size_t p = 0; p < programs.size(); ++p) {
        if (programs[p].label == "meshmend") mend = p;
        if (programs[p].label == "meshcheck") check = p;
    }
    if (mend < programs.size() && check < programs.size())
        std::printf("  meshcheck / meshmend %7.2f\n",
                    ratio_to_copy(times[check].bare, times[mend].bare));
}

// A varied batch of small models: one to three surfaces, one to twenty frames,
// a few dozen to a few hundred vertices each.
BuiltModel small_model(int i) {
    return generated_model(1 + i % 3, 1 + (i * 7) % 20, 40 + (i * 37) % 260);
}

// Writes the large model and the small ones from a child process. A child's
// peak resident size as the kernel reports it is never below that of the
// process it was started from, so this one must never hold a large model
// while it times the programs.
void write_models(const std::string& big, std::array<int, 3> counts,
                  const std::vector<std::string>& small) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        write_file(big, build_model(generated_model(counts[0], counts[1], counts[2])));
        for (std::size_t i = 0; i < small.size(); ++i)
            write_file(small[i], build_model(small_model(static_cast<int>(i))));
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        fail("cannot write the models");
}

std::string megabytes(const std::string& path) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", fs::file_size(path) / 1e6);
    return text;
}

}  // namespace

// Times the repair pass on `model` in each normal mode (broken rebuilds every
// surface, then welds those whose normals are wrong, or puts theirs back) on
// each instruction set, the modes in turn within each round, and weld's time over rebuild's
// as the median over rounds of the ratio in the same round, which keeps it
// steady while the load of the machine drifts.
void time_pass_modes(const ModelBuffer& model, int runs, std::FILE* progress) {
    const NormalChoice modes[] = {
        {NormalMode::rebuild}, {NormalMode::weld}, {NormalMode::keep}, {NormalMode::broken}};
    constexpr int kModes = 4;
    ModelBuffer copy = model;
    for (const InstructionSet set : usable_instruction_sets()) {
        std::vector<double> times[kModes], ratio;
        for (int r = 0; r < runs + 1; ++r) {
            double round[kModes];
            for (int m = 0; m < kModes; ++m) {
                std::copy(model.begin(), model.end(), copy.begin());
                const auto start = std::chrono::steady_clock::now();
                repair_model(copy, progress, set, modes[m]);
                const std::chrono::duration<double> elapsed =
                    std::chrono::steady_clock::now() - start;
                round[m] = elapsed.count();
            }
            if (r == 0) continue;  // warm-up
            for (int m = 0; m < kModes; ++m) times[m].push_back(round[m]);
            ratio.push_back(round[1] / round[0]);
        }
        std::printf(
            "  %-10s rebuild %7.2f ms  weld %7.2f ms (%+.0f%%)  keep %7.2f ms  broken %7.2f ms\n",
            instruction_set_name(set), median(times[0]) * 1e3, median(times[1]) * 1e3,
            (median(ratio) - 1) * 100, median(times[2]) * 1e3, median(times[3]) * 1e3);
    }
}

int main(int argc, char** argv) {
    int surfaces = 8, frames = 512, verts = 1000, runs = 7, smallCount = 300;
    std::string tmpfsDir = "/dev/shm", diskDir = BENCH_DISK_DIR;
    std::string meshmend = MESHMEND_BIN, sphereset = SPHERESET_BIN, meshcheck = MESHCHECK_BIN;
    std::string baseline, emulator;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--surfaces")
            surfaces = std::atoi(argv[i + 1]);
        else if (option == "--frames")
            frames = std::atoi(argv[i + 1]);
        else if (option == "--verts")
            verts = std::atoi(argv[i + 1]);
        else if (option == "--small")
            smallCount = std::atoi(argv[i + 1]);
        else if (option == "--runs")
            runs = std::atoi(argv[i + 1]);
        else if (option == "--tmpfs")
            tmpfsDir = argv[i + 1];
        else if (option == "--disk")
            diskDir = argv[i + 1];
        else if (option == "--meshmend")
            meshmend = argv[i + 1];
        else if (option == "--sphereset")
            sphereset = argv[i + 1];
        else if (option == "--meshcheck")
            meshcheck = argv[i + 1];
        else if (option == "--baseline")
            baseline = argv[i + 1];
        else if (option == "--emulator")
            emulator = argv[i + 1];
        else {
            std::fprintf(stderr, "md3_bench: unknown option %s\n", option.c_str());
            return 2;
        }
    }
    if (runs < 1) fail("--runs must be at least 1");

    std::vector<Program> programs = {{"cp", "", Program::copy},
                                     {"sphereset", sphereset, Program::radius},
                                     {"meshmend", meshmend, Program::repair},
                                     {"meshcheck", meshcheck, Program::check}};
    if (!baseline.empty()) {
        programs.push_back({"sphereset (baseline)", baseline + "/sphereset", Program::radius});
        programs.push_back({"meshmend (baseline)", baseline + "/meshmend", Program::repair});
    }

    std::printf("large model: %d surfaces x %d frames x %d vertices (at most)\n", surfaces, frames,
                verts);
    if (smallCount > 0) {
        std::size_t bytes = 0, least = SIZE_MAX, most = 0;
        for (int i = 0; i < smallCount; ++i) {
            const std::size_t size = build_model(small_model(i)).size();
            bytes += size;
            least = std::min(least, size);
            most = std::max(most, size);
        }
        std::printf("small models: %d, %.1f-%.1f KB, %.1f KB on average\n", smallCount, least / 1e3,
                    most / 1e3, bytes / 1e3 / smallCount);
    }
    if (!emulator.empty())
        std::printf("under %s: these figures are no measure of speed\n", emulator.c_str());
    std::printf(
        "medians of %d rounds after a warm-up; \"/ cp\" is the median over rounds of the time over "
        "cp's\n"
        "time for the same files in the same round; peak is the largest resident size of any run\n",
        runs);

    for (const auto& [dir, withFlush] : {std::pair{tmpfsDir, false}, std::pair{diskDir, true}}) {
        if (dir.empty()) continue;
        const std::string work = dir + "/md3_bench." + std::to_string(getpid());
        std::error_code ec;
        if (!fs::create_directory(work, ec)) fail("cannot create " + work);
        const std::string where = dir + " (" + filesystem_name(dir) + ")";

        const std::string big = work + "/big.md3";
        std::vector<std::string> smallFiles;
        for (int i = 0; i < smallCount; ++i)
            smallFiles.push_back(work + "/small" + std::to_string(i) + ".md3");
        write_models(big, {surfaces, frames, verts}, smallFiles);

        report(where + ", large model, " + megabytes(big), programs,
               time_workload(programs, {big}, work, withFlush, runs, emulator), withFlush);
        fs::remove(big);
        if (smallCount > 0)
            report(where + ", " + std::to_string(smallCount) + " small models, per file", programs,
                   time_workload(programs, smallFiles, work, withFlush, runs, emulator), withFlush);
        fs::remove_all(work);
    }

    std::printf("\nthe pass alone, in this process, on the large model\n");
    std::FILE* progress = std::fopen("/dev/null", "w");
    time_pass_modes(build_model(generated_model(surfaces, frames, verts)), runs, progress);
    // Three quarters as many vertices, a third of them then split in two as
    // texture seams split them (which brings the count back within the
    // surface limit): the work weld adds where it has most to do.
    std::printf("the same at three quarters of the vertices\n");
    time_pass_modes(build_model(generated_model(surfaces, frames, verts * 3 / 4)), runs, progress);
    std::printf("and with a third of those split by seams\n");
    time_pass_modes(build_model(with_seams(generated_model(surfaces, frames, verts * 3 / 4))), runs,
                    progress);
    std::fclose(progress);
    return 0;
}
