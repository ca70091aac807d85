// Replays every input the fuzz targets once failed on, through the same
// entry points, so a fixed fault stays fixed.
#include "fuzz_entries.hpp"
#include "support.hpp"

TEST(FuzzRegressions, ReplayWithoutFault) {
    std::size_t replayed = 0;
    for (const char* tool : {"meshmend", "sphereset", "meshcheck", "archive", "game_text"}) {
        // A missing or empty folder would replay nothing and pass.
        const fs::path dir = fs::path(FUZZ_REGRESSIONS) / tool;
        ASSERT_TRUE(fs::is_directory(dir)) << dir << " is missing";
        std::size_t ofTool = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
            SCOPED_TRACE(entry.path().string());
            const ModelBuffer bytes = read_file(entry.path().string());
            if (std::string(tool) == "meshmend")
                fuzz_meshmend_once(bytes.data(), bytes.size());
            else if (std::string(tool) == "sphereset")
                fuzz_sphereset_once(bytes.data(), bytes.size());
            else if (std::string(tool) == "meshcheck")
                fuzz_meshcheck_once(bytes.data(), bytes.size());
            else if (std::string(tool) == "archive")
                fuzz_archive_once(bytes.data(), bytes.size());
            else
                fuzz_game_text_once(bytes.data(), bytes.size());
            ++ofTool;
        }
        EXPECT_GT(ofTool, 0u) << dir << " holds no input";
        replayed += ofTool;
    }
    RecordProperty("replayed", static_cast<int>(replayed));
}
