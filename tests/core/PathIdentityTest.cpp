#include "PathIdentity.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// A real folder: files, a hard link, symbolic links to a file, to a folder
// and to nothing yet.
TEST(PathIdentity, NamesOfOneFile)
{
    char pattern[] = "/tmp/kestrova-paths.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    std::ofstream("real") << "x";
    std::ofstream("other") << "x";
    std::filesystem::create_directory("sub");
    ASSERT_EQ(link("real", "hard"), 0);
    ASSERT_EQ(symlink("real", "sym"), 0);
    ASSERT_EQ(symlink("sub", "subLink"), 0);
    ASSERT_EQ(symlink("new", "dangling"), 0);
    struct Case {
        const char* a;
        std::string b;
        bool same;
    } cases[] = {
        {"real", "./real", true},           {"real", "sub/../real", true},
        {"real", "sym", true},              {"real", "hard", true},
        {"real", dir / "real", true},       {"real", "other", false},
        {"new", "./new", true},             {"new", dir / "sub/../new", true},
        {"dangling", "new", true},          {"subLink/new", "sub/new", true},
        {"new", "sub/new", false},          {"real", "new", false},
        {"", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SameFile(c.a, c.b), c.same) << c.a << " and " << c.b;
    std::filesystem::current_path(cwd);
    std::filesystem::remove_all(dir);
}

} // namespace
