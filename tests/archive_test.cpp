// The zip reader: broken archives are refused with their reason and nothing
// read past them, archives it is given read back exactly, from memory, from a
// file and as a .pk3dir folder alike.
#include <functional>
#include <random>

#include "support.hpp"
#include "zip_builder.hpp"
#include "zip_reader.hpp"

using namespace md3;

namespace {

std::vector<BuiltMember> base_members() {
    return {{"models/Ship.md3", sample_bytes(3000, 1), true},
            {"scripts/ship.shader", sample_bytes(200, 2), false},
            {"textures/ship.tga", sample_bytes(5000, 3), true}};
}

void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    write_file(path, ModelBuffer(bytes.begin(), bytes.end()));
}

std::vector<std::uint8_t> as_vector(const ModelBuffer& bytes) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

class ArchiveTest : public ScratchDir {};

// Field offsets inside the records, for breaking one field.
constexpr std::size_t kCentralFlags = 8, kCentralMethod = 10, kCentralCrc = 16,
                      kCentralCompressed = 20, kCentralSize = 24, kCentralLocal = 42;
constexpr std::size_t kLocalFlags = 6, kLocalMethod = 8, kLocalCrc = 14, kLocalCompressed = 18,
                      kLocalSize = 22, kLocalName = 26, kLocalExtra = 28;
constexpr std::size_t kEndCount = 10, kEndDirectorySize = 12, kEndDirectoryOffset = 16;

struct BrokenCase {
    const char* what;
    std::function<void(BuiltZip&)> breakIt;
    int member;          // the member refused, or -1 when the whole archive is
    const char* reason;  // part of the reason given
};

}  // namespace

TEST_F(ArchiveTest, BrokenArchivesAreRefusedWithTheirReason) {
    const auto central = [](BuiltZip& z, int m, std::size_t field) {
        return z.bytes.data() + z.centralOffsets[m] + field;
    };
    const auto end = [](BuiltZip& z, std::size_t field) {
        return z.bytes.data() + z.endOffset + field;
    };
    const auto local = [](BuiltZip& z, int m, std::size_t field) {
        return z.bytes.data() + z.localOffsets[m] + field;
    };
    // A field changed in the directory and the local header alike, which
    // the reader checks against one another.
    const auto both = [&](BuiltZip& z, int m, std::size_t centralField, std::size_t localField,
                          std::uint32_t value) {
        put_u32(central(z, m, centralField), value);
        put_u32(local(z, m, localField), value);
    };
    const BrokenCase cases[] = {
        {"an empty file", [](BuiltZip& z) { z.bytes.clear(); }, -1, "too short"},
        {"a file cut before its end record", [](BuiltZip& z) { z.bytes.resize(z.endOffset + 10); },
         -1, "no end of central directory"},
        {"an end record whose comment runs past the file",
         [&](BuiltZip& z) { put_u16(end(z, 20), 40); }, -1, "no end of central directory"},
        // Entries of 46 bytes and names of 15, 19 and 17.
        {"a directory that ends inside an entry",
         [&](BuiltZip& z) { put_u32(end(z, kEndDirectorySize), 3 * 46); }, -1,
         "ends inside entry 3 of 3"},
        {"a directory that ends inside a name",
         [&](BuiltZip& z) { put_u32(end(z, kEndDirectorySize), 3 * 46 + 15 + 19 + 10); }, -1,
         "entry 3 of 3 runs past the end of the directory"},
        {"a directory past the end record",
         [&](BuiltZip& z) { put_u32(end(z, kEndDirectoryOffset), 0x7FFFFF00); }, -1,
         "runs past the end record"},
        {"an entry without its signature", [&](BuiltZip& z) { *central(z, 1, 0) = 'X'; }, -1,
         "entry 2 of 3 of the directory has no entry signature"},
        {"65535 entries claimed in a few bytes",
         [&](BuiltZip& z) {
             put_u16(end(z, kEndCount), 0xFFFF);
             put_u16(end(z, kEndCount - 2), 0xFFFF);
         },
         -1, "claims 65535 entries"},
        {"a zip64 sentinel for the directory offset",
         [&](BuiltZip& z) { put_u32(end(z, kEndDirectoryOffset), 0xFFFFFFFF); }, -1, "zip64"},
        {"a zip64 end record claiming a million entries",
         [](BuiltZip& z) {
             // Record and locator go just before the end record, as a zip64
             // writer puts them.
             std::vector<std::uint8_t> record(56 + 20, 0);
             put_u32(record.data(), 0x06064b50);
             put_u32(record.data() + 32, 1000000);  // entries on this disk
             put_u32(record.data() + 24, 1000000);  // entries in all
             put_u32(record.data() + 56, 0x07064b50);
             put_u32(record.data() + 56 + 8, static_cast<std::uint32_t>(z.endOffset));
             z.bytes.insert(z.bytes.begin() + static_cast<std::ptrdiff_t>(z.endOffset),
                            record.begin(), record.end());
         },
         -1, "zip64"},
        {"an archive split over disks", [&](BuiltZip& z) { put_u16(end(z, 4), 1); }, -1,
         "several disks"},
        {"a member whose CRC lies",
         [&](BuiltZip& z) {
             both(z, 0, kCentralCrc, kLocalCrc, get_u32(local(z, 0, kLocalCrc)) ^ 1);
         },
         0, "does not match"},
        {"a stored member whose CRC lies",
         [&](BuiltZip& z) {
             both(z, 1, kCentralCrc, kLocalCrc, get_u32(local(z, 1, kLocalCrc)) ^ 1);
         },
         1, "does not match"},
        {"a deflate member declaring more than it holds",
         [&](BuiltZip& z) { both(z, 2, kCentralSize, kLocalSize, 5001); }, 2,
         "inflates to 5000 bytes, fewer than the 5001"},
        {"a deflate stream expanding past its declared size",
         [&](BuiltZip& z) { both(z, 0, kCentralSize, kLocalSize, 10); }, 0,
         "inflates to more than the 10 bytes"},
        // The game's reader refuses a member whose local header disagrees
        // with its directory entry; a data descriptor excuses the CRC and
        // sizes alone.
        {"a local header that says stored where the directory says deflate",
         [&](BuiltZip& z) { put_u16(local(z, 0, kLocalMethod), 0); }, 0,
         "its local header gives compression method 0, the directory 8"},
        {"a local CRC of its own", [&](BuiltZip& z) { *local(z, 1, kLocalCrc) ^= 1; }, 1,
         "its local header gives CRC"},
        {"a local compressed size of its own",
         [&](BuiltZip& z) { put_u32(local(z, 2, kLocalCompressed), 1); }, 2,
         "gives a compressed size of 1, the directory"},
        {"a local size of its own", [&](BuiltZip& z) { put_u32(local(z, 2, kLocalSize), 1); }, 2,
         "gives a size of 1, the directory 5000"},
        {"a data descriptor's flag: no local CRC or sizes, but the name length still counts",
         [&](BuiltZip& z) {
             put_u16(local(z, 2, kLocalFlags), 8);
             for (std::size_t field : {kLocalCrc, kLocalCompressed, kLocalSize})
                 put_u32(local(z, 2, field), 0);
             put_u16(local(z, 2, kLocalName), 16);
         },
         2, "gives a name length of 16, the directory 17"},
        {"a local name length of its own",
         [&](BuiltZip& z) { put_u16(local(z, 1, kLocalName), 18); }, 1,
         "gives a name length of 18, the directory 19"},
        {"a stored member whose sizes disagree",
         [&](BuiltZip& z) { put_u32(central(z, 1, kCentralSize), 199); }, 1, "stored, but"},
        {"a size past the reader's bound in a small file",
         [&](BuiltZip& z) { put_u32(central(z, 2, kCentralSize), 0xFFFFFFF0); }, 2,
         "more than the 268435456"},
        {"a deflate member declaring more than its data can expand to",
         [&](BuiltZip& z) { put_u32(central(z, 0, kCentralSize), 100 << 20); }, 0,
         "bytes of deflate data can hold"},
        {"compression method 12", [&](BuiltZip& z) { put_u16(central(z, 0, kCentralMethod), 12); },
         0, "compression method 12"},
        {"the encryption flag", [&](BuiltZip& z) { put_u16(central(z, 2, kCentralFlags), 1); }, 2,
         "encrypted"},
        {"the encryption flag in the local header only",
         [](BuiltZip& z) { put_u16(z.bytes.data() + z.localOffsets[2] + kLocalFlags, 1); }, 2,
         "encrypted"},
        {"a zip64 sentinel for a member's size",
         [&](BuiltZip& z) { put_u32(central(z, 1, kCentralCompressed), 0xFFFFFFFF); }, 1, "zip64"},
        {"a local header offset past the end of the file",
         [&](BuiltZip& z) { put_u32(central(z, 2, kCentralLocal), 0x7FFFFFFF); }, 2,
         "run past the directory"},
        {"a local header offset at no local header",
         [&](BuiltZip& z) { put_u32(central(z, 2, kCentralLocal), 4); }, 2, "no local header"},
        {"a local extra length that pushes the data into the directory",
         [&](BuiltZip& z) { put_u16(local(z, 2, kLocalExtra), 0xFFFF); }, 2,
         "run past the directory"},
        {"deflate data cut short",
         [&](BuiltZip& z) {
             both(z, 0, kCentralCompressed, kLocalCompressed,
                  static_cast<std::uint32_t>(z.localOffsets[1] - z.localOffsets[0] - 30 - 15 - 40));
         },
         0, "ends before its stream does"},
        {"bytes that are no deflate stream",  // a block of the reserved type
         [](BuiltZip& z) { z.bytes[z.localOffsets[2] + 30 + 17] = 0xFF; }, 2, "bad deflate data"},
    };

    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.what);
        BuiltZip zip = build_zip(base_members());
        c.breakIt(zip);
        const std::string file = path("broken.pk3");
        write_bytes(file, zip.bytes);
        for (const bool fromFile : {false, true}) {
            ZipArchive archive;
            const ZipResult opened = fromFile ? open_archive_file(file, archive)
                                              : open_archive_memory(zip.bytes, archive);
            if (c.member < 0) {
                EXPECT_EQ(opened.status, ZipStatus::broken);
                EXPECT_NE(opened.reason.find(c.reason), std::string::npos) << opened.reason;
                EXPECT_TRUE(archive.entries.empty());
                continue;
            }
            ASSERT_TRUE(opened.ok()) << opened.reason;
            ASSERT_EQ(archive.entries.size(), 3u);
            const std::vector<BuiltMember> members = base_members();
            for (int m = 0; m < 3; ++m) {
                ModelBuffer bytes(7, 0);
                const ZipResult read = read_member(archive, archive.entries[m], bytes);
                if (m == c.member) {
                    EXPECT_EQ(read.status, ZipStatus::unreadable);
                    EXPECT_NE(read.reason.find(c.reason), std::string::npos) << read.reason;
                    EXPECT_TRUE(bytes.empty());
                } else {
                    // One bad member costs only itself.
                    EXPECT_TRUE(read.ok()) << m << ": " << read.reason;
                    EXPECT_EQ(as_vector(bytes), members[m].data);
                }
            }
        }
    }
    EXPECT_EQ(entries(), 1u);  // nothing written beside the archive
}

// Members sharing bytes, whichever way round: the first in the directory's
// order is read, every later one that overlaps it is refused with the entry
// it overlaps, before anything of it is read.
TEST_F(ArchiveTest, MembersThatShareBytesAfterTheFirstAreRefused) {
    const auto central = [](BuiltZip& z, int m, std::size_t field) {
        return z.bytes.data() + z.centralOffsets[m] + field;
    };
    const auto local = [](BuiltZip& z, int m, std::size_t field) {
        return z.bytes.data() + z.localOffsets[m] + field;
    };
    struct Case {
        const char* what;
        std::function<void(BuiltZip&)> overlap;
        std::vector<int> refused;  // the members refused
        const char* reason;        // part of the first one's reason
    };
    const std::vector<Case> cases = {
        {"two entries for one member",
         [&](BuiltZip& z) {
             // Entry 3 is entry 1 again under its own name.
             std::copy_n(central(z, 0, 0), 46, central(z, 2, 0));
         },
         {2},
         "overlap those of entry 1 of the directory (offsets 0 to"},
        {"data that runs into the next member's header",
         [&](BuiltZip& z) {
             const std::uint32_t longer = get_u32(central(z, 0, kCentralCompressed)) + 10;
             put_u32(central(z, 0, kCentralCompressed), longer);
             put_u32(local(z, 0, kLocalCompressed), longer);
         },
         {1},
         "overlap those of entry 1"},
        {"an entry pointing inside an earlier member's data",
         [&](BuiltZip& z) {
             // The stored member's data holds a copy of the last header (and
             // so no longer matches its CRC).
             const std::uint64_t inside = z.localOffsets[1] + 30 + 19;
             std::copy_n(local(z, 2, 0), 30, z.bytes.data() + inside);
             put_u32(central(z, 2, kCentralLocal), static_cast<std::uint32_t>(inside));
         },
         {2, 1},
         "overlap those of entry 2"},
        {"no overlap: members side by side", [](BuiltZip&) {}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<BuiltMember> members = base_members();
        members[1].data = sample_bytes(200, 2);
        BuiltZip zip = build_zip(members);
        c.overlap(zip);
        ZipArchive archive;
        ASSERT_TRUE(open_archive_memory(zip.bytes, archive).ok());
        ASSERT_EQ(archive.entries.size(), 3u);
        for (int m = 0; m < 3; ++m) {
            const bool refused = std::count(c.refused.begin(), c.refused.end(), m) > 0;
            ModelBuffer bytes;
            const ZipResult read = read_member(archive, archive.entries[m], bytes);
            EXPECT_EQ(read.ok(), !refused) << m << ": " << read.reason;
            if (refused && m == c.refused.front()) {
                EXPECT_NE(read.reason.find(c.reason), std::string::npos) << read.reason;
            }
        }
    }
}

TEST_F(ArchiveTest, CommentsAndTrailingBytesDoNotHideTheEndRecord) {
    // A comment holding what looks like an end record, and bytes after the
    // comment that a careless writer left: the real record is found in both.
    std::string comment = "made by hand PK";
    comment += "\x05\x06";
    comment += std::string(30, 'x');
    for (const std::size_t padding : {std::size_t{0}, std::size_t{5}}) {
        BuiltZip zip = build_zip(base_members(), comment);
        zip.bytes.resize(zip.bytes.size() + padding, 0);
        ZipArchive archive;
        const ZipResult opened = open_archive_memory(zip.bytes, archive);
        ASSERT_TRUE(opened.ok()) << opened.reason;
        EXPECT_EQ(archive.entries.size(), 3u);
    }
}

TEST_F(ArchiveTest, WrittenArchivesReadBackExactly) {
    std::mt19937 pick(19);
    const char* const folders[] = {"models/", "Models/Players/", "TEXTURES/", "scripts/", ""};
    const char* const leaves[] = {"ship.md3", "Head.MD3", "hull_1.md3", "a.tga", "b.shader"};
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        std::vector<BuiltMember> members;
        const int count = 1 + static_cast<int>(pick() % 8);
        for (int m = 0; m < count; ++m) {
            BuiltMember member;
            member.name = std::string(folders[pick() % 5]) + std::to_string(m) + leaves[pick() % 5];
            const std::size_t size = pick() % 4 == 0 ? 0 : pick() % 70000;
            member.data = sample_bytes(size, pick());
            member.deflate = pick() % 2 == 0;
            members.push_back(member);
        }
        members.push_back({"models/empty_folder/", {}, false});
        const BuiltZip zip = build_zip(members);
        const std::string file = path("round.pk3");
        write_bytes(file, zip.bytes);

        // The .pk3dir of the same files lists the same names, in byte order.
        const fs::path folder = dir / ("round" + std::to_string(round) + ".pk3dir");
        std::vector<std::string> sortedNames;
        for (const BuiltMember& member : members) {
            if (member.name.ends_with('/')) continue;
            fs::create_directories((folder / member.name).parent_path());
            write_bytes((folder / member.name).string(), member.data);
            sortedNames.push_back(member.name);
        }
        std::sort(sortedNames.begin(), sortedNames.end());

        for (int source = 0; source < 3; ++source) {
            ZipArchive archive;
            const ZipResult opened = source == 0   ? open_archive_memory(zip.bytes, archive)
                                     : source == 1 ? open_archive_file(file, archive)
                                                   : open_archive_folder(folder.string(), archive);
            ASSERT_TRUE(opened.ok()) << opened.reason;
            std::vector<std::string> listed;
            for (const ZipEntry& entry : archive.entries) {
                const auto it =
                    std::find_if(members.begin(), members.end(),
                                 [&](const BuiltMember& m) { return m.name == entry.name; });
                ASSERT_NE(it, members.end()) << entry.name;
                EXPECT_EQ(entry.isFolder, it->name.ends_with('/'));
                EXPECT_EQ(entry.size, it->data.size());
                EXPECT_TRUE(entry.problem.empty()) << entry.problem;
                ModelBuffer bytes;
                const ZipResult read = read_member(archive, entry, bytes);
                ASSERT_TRUE(read.ok()) << entry.name << ": " << read.reason;
                EXPECT_EQ(as_vector(bytes), it->data) << entry.name;
                if (!entry.isFolder) listed.push_back(entry.name);
            }
            if (source < 2) {
                // The directory's own order.
                ASSERT_EQ(archive.entries.size(), members.size());
                for (std::size_t m = 0; m < members.size(); ++m)
                    EXPECT_EQ(archive.entries[m].name, members[m].name);
            } else {
                EXPECT_EQ(listed, sortedNames);
            }
        }
    }
}

TEST(ArchiveNames, ComparedAndRefusedAsTheEngineDoes) {
    EXPECT_EQ(engine_name("Models\\Players\\Sarge:Head.MD3"), "models/players/sarge/head.md3");
    EXPECT_EQ(engine_name("textures/\xC3\x89t\xC3\xA9.tga"), "textures/\xC3\x89t\xC3\xA9.tga");
    for (const char* name : {"../x.md3", "models/..\\x.md3", "a::b", "models/x..md3"})
        EXPECT_TRUE(engine_refuses_name(name)) << name;
    for (const char* name : {"models/x.md3", "a:b/c.md3", "./x.md3"})
        EXPECT_FALSE(engine_refuses_name(name)) << name;

    // The flag comes with the listing; the member itself still reads.
    const BuiltZip zip = build_zip({{"models/../../x.md3", sample_bytes(10, 4), true}});
    ZipArchive archive;
    ASSERT_TRUE(open_archive_memory(zip.bytes, archive).ok());
    ASSERT_EQ(archive.entries.size(), 1u);
    EXPECT_TRUE(archive.entries[0].unsafeName);
    ModelBuffer bytes;
    EXPECT_TRUE(read_member(archive, archive.entries[0], bytes).ok());
}
