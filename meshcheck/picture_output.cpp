// Judging what a picture would replace before anything is opened for writing.
#include "picture_output.hpp"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>

#include "find_models.hpp"

namespace md3 {

namespace fs = std::filesystem;

namespace {

fs::path path_of(const std::string& name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

bool starts_as_png(const fs::path& file) {
    static constexpr std::array<char, 8> kSignature = {'\x89', 'P',  'N',    'G',
                                                       '\r',   '\n', '\x1a', '\n'};
    std::array<char, 8> head{};
    std::ifstream in(file, std::ios::binary);
    return in.read(head.data(), head.size()) && head == kSignature;
}

// Whether the file a picture would replace lies inside one of `games`: the
// file a link leads to when links are followed, else the name in its folder.
bool in_game(const fs::path& file, OutputLinks links, const std::vector<fs::path>& games) {
    std::error_code error;
    const fs::path real = links == OutputLinks::follow
                              ? fs::weakly_canonical(file, error)
                              : fs::weakly_canonical(file.parent_path(), error) / file.filename();
    if (error) return false;
    for (const fs::path& game : games) {
        const auto [g, r] = std::mismatch(game.begin(), game.end(), real.begin(), real.end());
        if (g == game.end()) return true;
    }
    return false;
}

}  // namespace

PictureInputs picture_inputs(const std::vector<std::string>& names,
                             const std::vector<std::string>& games) {
    PictureInputs inputs;
    inputs.names = names;
    for (const std::string& game : games) {
        std::error_code error;
        fs::path real = fs::canonical(path_of(game), error);
        if (!error) inputs.games.push_back(std::move(real));
    }
    for (const std::string& name : names) {
        std::error_code error;
        const std::uintmax_t size = fs::file_size(path_of(name), error);
        inputs.sizes.push_back(error ? static_cast<std::uintmax_t>(-1) : size);
    }
    return inputs;
}

std::string picture_refusal(const std::string& file, OutputLinks links, const PictureInputs& inputs,
                            const std::string& model) {
    const fs::path path = path_of(file);
    std::error_code error;
    const fs::file_status status =
        links == OutputLinks::replace ? fs::symlink_status(path, error) : fs::status(path, error);
    if (status.type() == fs::file_type::not_found) return "";
    if (links == OutputLinks::replace && status.type() == fs::file_type::symlink) return "";
    const auto same = [&](const std::string& input) {
        std::error_code unknown;
        return input == file || fs::equivalent(path, path_of(input), unknown);
    };
    if (in_game(path, links, inputs.games)) return "it is in a --game folder";
    const std::uintmax_t size = fs::file_size(path, error);
    bool input = same(model);
    for (std::size_t i = 0; i < inputs.names.size() && !input; ++i)
        input =
            inputs.names[i] == file || (!error && inputs.sizes[i] == size && same(inputs.names[i]));
    if (input) return "it is a model being checked";
    if (status.type() != fs::file_type::regular) return "it is there and is not a file";
    if (!starts_as_png(path)) return "it is there and is not a PNG file";
    return "";
}

bool is_png_name(const std::string& name) { return has_ending(name, ".png"); }

}  // namespace md3
