// meshcheck over archives: a member is checked exactly as the same file
// extracted, a broken archive or member is reported with the reader's reason
// and the run goes on, and the report does not depend on the worker count.
#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>

#include "support.hpp"
#include "zip_builder.hpp"
#include "zip_reader.hpp"

using namespace md3;

namespace {

using nlohmann::json;

class MeshcheckArchive : public ScratchDir {
protected:
    RunResult run(const std::vector<std::string>& args) { return run_tool(MESHCHECK_BIN, args); }

    void write_bytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        fs::create_directories((dir / name).parent_path());
        write_file(path(name), ModelBuffer(bytes.begin(), bytes.end()));
    }

    // Every line of a --json run, parsed, keyed by the model's name: its
    // member name inside an archive, else its path below `prefix`.
    std::map<std::string, json> by_name(const std::vector<std::string>& args,
                                        const std::string& prefix) {
        std::vector<std::string> all = {"--json"};
        all.insert(all.end(), args.begin(), args.end());
        const RunResult r = run(all);
        std::map<std::string, json> found;
        std::size_t start = 0;
        for (std::size_t end; (end = r.out.find('\n', start)) != std::string::npos;
             start = end + 1) {
            json line = json::parse(r.out.substr(start, end - start));
            std::string name = line.contains("member") ? line["member"].get<std::string>()
                                                       : line["path"].get<std::string>();
            if (!line.contains("member")) {
                EXPECT_EQ(name.rfind(prefix, 0), 0u) << name;
                name.erase(0, prefix.size());
            }
            line.erase("path");
            line.erase("member");
            found[name] = line;
        }
        return found;
    }
};

std::vector<std::uint8_t> bytes_of(const ModelBuffer& model) {
    return std::vector<std::uint8_t>(model.begin(), model.end());
}

// Models of every verdict: the fuzz seeds (several surfaces and frames,
// trailing bytes, a header alone), the sample, a file too short to be a model.
std::vector<std::vector<std::uint8_t>> varied_models() {
    std::vector<std::vector<std::uint8_t>> models;
    for (const auto& [name, model] : seed_models()) models.push_back(bytes_of(build_model(model)));
    models.push_back(bytes_of(read_file(SAMPLE_MODEL)));
    models.push_back(bytes_of(repaired(read_file(SAMPLE_MODEL))));
    models.push_back({'I', 'D', 'P', '3', 15, 0});
    return models;
}

// The reader's own reason for refusing member `member` of `zip`.
std::string reader_reason(const BuiltZip& zip, std::size_t member) {
    ZipArchive archive;
    const ZipResult opened = open_archive_memory(zip.bytes, archive);
    if (!opened.ok()) return opened.reason;
    ModelBuffer bytes;
    return read_member(archive, archive.entries.at(member), bytes).reason;
}

}  // namespace

// Stored and deflate members, names in either case, in folders and at the
// top, beside folder entries and files that are not models: the archive, the
// same files extracted and the same files as a .pk3dir report alike.
TEST_F(MeshcheckArchive, MembersAreCheckedAsTheFilesExtracted) {
    std::vector<BuiltMember> members = {{"models/", {}, false},
                                        {"scripts/x.shader", sample_bytes(300, 1), true}};
    const std::vector<std::vector<std::uint8_t>> models = varied_models();
    for (std::size_t i = 0; i < models.size(); ++i) {
        const std::string name = (i % 3 == 0   ? "models/Deep/Ship"
                                  : i % 3 == 1 ? "models/ship"
                                               : "top") +
                                 std::to_string(i) + (i % 2 ? ".MD3" : ".md3");
        members.push_back({name, models[i], i % 2 == 0});
        write_bytes("extracted/" + name, models[i]);
        write_bytes("Mod.PK3DIR/" + name, models[i]);
    }
    write_bytes("GAME.PK3", build_zip(members).bytes);

    const auto extracted = by_name({path("extracted")}, path("extracted") + "/");
    ASSERT_EQ(extracted.size(), models.size());
    EXPECT_EQ(by_name({path("GAME.PK3")}, ""), extracted);
    EXPECT_EQ(by_name({path("Mod.PK3DIR")}, ""), extracted);

    // Found while walking a folder, each is read as an archive, and a member
    // is named after its archive.
    fs::create_directory(dir / "tree");
    fs::rename(dir / "GAME.PK3", dir / "tree" / "GAME.PK3");
    fs::rename(dir / "Mod.PK3DIR", dir / "tree" / "Mod.PK3DIR");
    const RunResult tree = run({"--quiet", path("tree")});
    EXPECT_NE(tree.out.find("\n" + path("tree/GAME.PK3") + ":models/ship1.MD3: "),
              std::string::npos)
        << tree.out;
    EXPECT_NE(tree.out.find("\n" + path("tree/Mod.PK3DIR") + ":top2.md3: "), std::string::npos);
    EXPECT_NE(tree.out.find(std::to_string(2 * models.size()) + " models: "), std::string::npos);
}

// Whatever breaks an archive or one of its members is reported as that
// record, unreadable, with the reader's reason; the rest of the run goes on.
TEST_F(MeshcheckArchive, BrokenArchivesAndMembersAreReportedAndTheRunGoesOn) {
    const std::vector<std::uint8_t> model = bytes_of(repaired(read_file(SAMPLE_MODEL)));
    const std::vector<BuiltMember> good = {{"models/a.md3", model, true},
                                           {"models/b.md3", model, false}};
    BuiltZip lyingCrc = build_zip(good);
    lyingCrc.bytes[lyingCrc.localOffsets[1] + 30 + 12 + 100] ^= 1;  // stored data of b
    BuiltZip method12 = build_zip(good);
    method12.bytes[method12.centralOffsets[0] + 10] = 12;
    method12.bytes[method12.localOffsets[0] + 8] = 12;
    BuiltZip truncated = build_zip(good);
    truncated.bytes.resize(truncated.endOffset + 10);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* broken;  // the member refused; empty: the whole archive is
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"crc.pk3", lyingCrc.bytes, "models/b.md3", reader_reason(lyingCrc, 1)},
        {"method.pk3", method12.bytes, "models/a.md3", reader_reason(method12, 0)},
        {"cut.pk3", truncated.bytes, "", reader_reason(truncated, 0)},
        {"model.pk3", model, "", reader_reason(BuiltZip{model, {}, {}, 0, 0}, 0)},
    };
    fs::create_directory(dir / "mod");
    for (const Case& c : cases) write_bytes(std::string("mod/") + c.name, c.bytes);
    write_bytes("mod/z.md3", model);

    const RunResult r = run({"--json", path("mod")});
    EXPECT_EQ(r.status, 2);
    std::map<std::string, json> records;  // by "path" and "member"
    std::size_t start = 0;
    for (std::size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
        const json line = json::parse(r.out.substr(start, end - start));
        records[line["path"].get<std::string>() + "|" + line.value("member", "")] = line;
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.reason.empty());
        const json& refused = records[path(std::string("mod/") + c.name) + "|" + c.broken];
        EXPECT_EQ(refused.value("verdict", ""), "unreadable") << r.out;
        EXPECT_EQ(refused.value("error", ""), c.reason);
        if (*c.broken != '\0') {
            const std::string other = std::string(c.broken) == "models/a.md3" ? "b" : "a";
            const json& read =
                records[path(std::string("mod/") + c.name) + "|models/" + other + ".md3"];
            EXPECT_EQ(read.value("verdict", ""), "clean") << r.out;
        }
    }
    EXPECT_EQ(records[path("mod/z.md3") + "|"].value("verdict", ""), "clean");
    EXPECT_EQ(records.size(), 7u) << r.out;
}

// Loose models, archives, a .pk3dir and unreadable ones of every sort, many
// more than the workers' ring holds: one worker, two, a handful and the
// default print the same bytes and end with the same status.
TEST_F(MeshcheckArchive, ReportIsTheSameOnAnyNumberOfWorkers) {
    const std::vector<std::vector<std::uint8_t>> models = varied_models();
    std::vector<BuiltMember> members;
    for (int i = 0; i < 60; ++i) {
        const std::vector<std::uint8_t>& model =
            models[static_cast<std::size_t>(i) % models.size()];
        const std::string name = "models/m" + std::to_string(i) + ".md3";
        write_bytes("tree/loose/" + name, model);
        write_bytes("tree/c.pk3dir/" + name, model);
        members.push_back({name, model, i % 2 == 0});
    }
    BuiltZip broken = build_zip(members);
    broken.bytes[broken.localOffsets[7] + 30 + 13 + 50] ^= 0xFF;  // stored data of m7
    write_bytes("tree/a.pk3", build_zip(members).bytes);
    write_bytes("tree/b.pk3", broken.bytes);
    write_bytes("tree/d.pk3", {'P', 'K', 3, 4});
    fs::create_directories(dir / "tree" / "e");
    ASSERT_EQ(symlink("nowhere.md3", path("tree/e/dangling.md3").c_str()), 0);

    for (const char* format : {"--json", "--changes"}) {
        SCOPED_TRACE(format);
        const RunResult one = run({format, "--jobs", "1", path("tree")});
        EXPECT_EQ(one.status, 2);
        EXPECT_NE(one.out.find("unreadable"), std::string::npos);
        for (const std::vector<std::string>& jobs :
             {std::vector<std::string>{"--jobs", "2"}, {"--jobs=5"}, {}}) {
            std::vector<std::string> args = {format};
            args.insert(args.end(), jobs.begin(), jobs.end());
            args.push_back(path("tree"));
            const RunResult many = run(args);
            EXPECT_EQ(many.status, one.status);
            EXPECT_EQ(many.out, one.out);
        }
    }
}
