// The engine table: every profile is found by the name --engine takes and
// listed in the usage text, the default is ioq3, and each row is coherent
// with what the checks built on it assume.
#include "engines.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

using namespace md3;

namespace {

TEST(EngineTable, EveryRowFoundByItsNameAndCoherent) {
    const std::string names = engine_names();
    EXPECT_EQ(names, "ioq3, q3, quake3e, etlegacy");
    EXPECT_STREQ(default_engine().name, "ioq3");
    EXPECT_EQ(find_engine("ioq3"), &default_engine());
    std::set<std::string> titles;
    std::size_t start = 0;
    while (start <= names.size()) {
        const std::size_t comma = std::min(names.find(", ", start), names.size());
        const std::string name = names.substr(start, comma - start);
        start = comma + 2;
        SCOPED_TRACE(name);
        const EngineProfile* engine = find_engine(name);
        ASSERT_NE(engine, nullptr);
        EXPECT_EQ(engine->name, name);
        EXPECT_TRUE(titles.insert(engine->title).second) << "two rows with one title";
        // Every engine here refuses some surfaces; the limits are counts.
        EXPECT_GT(engine->refusedVertices, 0);
        EXPECT_GE(engine->refusedTriangles, 0);
        EXPECT_GE(engine->refusedPathBytes, 0);
        // The shader and skin checks need both the images tried and the search
        // order; the image list, where there is one, ends in null and starts
        // with the .tga every engine tries first.
        if (engine->imageExtensions) {
            EXPECT_NE(engine->looseFiles, LooseOrder::not_known);
            EXPECT_STREQ(engine->imageExtensions[0], ".tga");
            int n = 0;
            while (engine->imageExtensions[n] && n < 16) ++n;
            EXPECT_LT(n, 16) << "no null at the end of the image list";
        }
        // Names are matched exactly: no other case, no prefix.
        std::string upper = name;
        for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        EXPECT_EQ(find_engine(upper), nullptr);
        EXPECT_EQ(find_engine(std::string_view(name).substr(0, name.size() - 1)), nullptr);
    }
    EXPECT_EQ(titles.size(), 4u);
    EXPECT_EQ(find_engine(""), nullptr);
}

}  // namespace
