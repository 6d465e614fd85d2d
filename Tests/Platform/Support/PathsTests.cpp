#include <ScopedEnvironment.h>
#include <Support/Paths.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <pwd.h>
#include <unistd.h>

// Every Mac place the units name maps to its freedesktop place, and the
// XDG variables count only when they hold an absolute path.
TEST(Paths, TheXDGTable)
{
    struct Row {
        const char* label;
        std::optional<std::string> config, data, cache;
        std::function<std::string()> where;
        std::string expected;
    };
    const std::optional<std::string> unset;
    const std::vector<Row> rows = {
        {"preferences from XDG_CONFIG_HOME", "/x/config", unset, unset, Paths::PreferencesFolder, "/x/config/brindlet"},
        {"preferences without it", unset, unset, unset, Paths::PreferencesFolder, "/home/u/.config/brindlet"},
        {"a relative value is ignored", "relative/config", unset, unset, Paths::PreferencesFolder,
         "/home/u/.config/brindlet"},
        {"an empty value is ignored", "", unset, unset, Paths::ConfigHome, "/home/u/.config"},
        {"trailing slashes are dropped", "/x/config///", unset, unset, Paths::AutostartFolder, "/x/config/autostart"},
        {"the library is the data home", unset, "/x/data", unset, Paths::LibraryFolder, "/x/data"},
        {"the library without it", unset, unset, unset, Paths::LibraryFolder, "/home/u/.local/share"},
        {"the trash", unset, "/x/data", unset, Paths::TrashFolder, "/x/data/Trash"},
        {"user sounds", unset, unset, unset, Paths::UserSoundsFolder, "/home/u/.local/share/sounds"},
        {"caches", unset, unset, "/x/cache", Paths::CachesFolder, "/x/cache/brindlet"},
        {"caches without it", unset, unset, unset, Paths::CachesFolder, "/home/u/.cache/brindlet"},
        {"desktop", unset, unset, unset, Paths::DesktopFolder, "/home/u/Desktop"},
        {"documents", unset, unset, unset, Paths::DocumentsFolder, "/home/u/Documents"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScopedEnvironment environment;
        environment.Set("HOME", "/home/u");
        environment.Set("XDG_CONFIG_HOME", row.config);
        environment.Set("XDG_DATA_HOME", row.data);
        environment.Set("XDG_CACHE_HOME", row.cache);
        EXPECT_EQ(row.where(), row.expected);
    }
}

TEST(Paths, HomeAndTemporaryFallBackSafely)
{
    ScopedEnvironment environment;
    environment.Set("HOME", "not/absolute");
    const passwd* entry = getpwuid(getuid());
    const std::string account = entry && entry->pw_dir && entry->pw_dir[0] == '/' ? entry->pw_dir : "/";
    EXPECT_EQ(Paths::Home(), account) << "a relative HOME is not used";
    environment.Set("HOME", std::nullopt);
    EXPECT_EQ(Paths::Home(), account);

    environment.Set("TMPDIR", "/x/tmp/");
    EXPECT_EQ(Paths::TemporaryFolder(), "/x/tmp");
    environment.Set("TMPDIR", "tmp");
    EXPECT_EQ(Paths::TemporaryFolder(), "/tmp");
    environment.Set("TMPDIR", std::nullopt);
    EXPECT_EQ(Paths::TemporaryFolder(), "/tmp");
}

TEST(Paths, ResourcesLieBesideTheProgram)
{
    // The build tree mirrors an install prefix: tests run from build/tests,
    // so their resources folder is build/share/brindlet.
    const std::string resources = Paths::ApplicationResourcesFolder();
    EXPECT_EQ(resources.find(".."), std::string::npos) << resources;
    EXPECT_TRUE(resources.size() > 15 && resources.compare(resources.size() - 15, 15, "/share/brindlet") == 0)
        << resources;
}
