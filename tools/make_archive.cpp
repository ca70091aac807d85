// Writes a .pk3 (zip) archive of files for the checks that run the programs:
//   make_archive <output.pk3> <name inside>=<file>...
// each member deflated, or stored when its name is given as "-0:<name>".
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "zip_builder.hpp"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <output.pk3> [-0:]<name inside>=<file>...\n", argv[0]);
        return 2;
    }
    std::vector<BuiltMember> members;
    for (int i = 2; i < argc; ++i) {
        std::string pair = argv[i];
        const std::size_t equals = pair.find('=');
        if (equals == std::string::npos) {
            std::fprintf(stderr, "%s: %s: no '=' between the name and the file\n", argv[0],
                         argv[i]);
            return 2;
        }
        BuiltMember member;
        member.name = pair.substr(0, equals);
        if (member.name.starts_with("-0:")) {
            member.name.erase(0, 3);
            member.deflate = false;
        }
        std::ifstream in(pair.substr(equals + 1), std::ios::binary);
        member.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in.eof() && !in) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], pair.c_str() + equals + 1);
            return 1;
        }
        members.push_back(std::move(member));
    }
    const BuiltZip zip = build_zip(members);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(zip.bytes.data(), 1, zip.bytes.size(), out) != zip.bytes.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
