// Small file-system fixtures for the tests of files, folders and the
// places the system keeps things: a scratch folder that goes away with the
// test, and a home whose XDG folders live inside one.
#pragma once

#include <ScopedEnvironment.h>

#include <CoreServices/Files.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

class ScratchFolder {
public:
    // A new folder inside `under` (else $TMPDIR, else /tmp), its path resolved.
    explicit ScratchFolder(const std::string& under = "")
    {
        std::string base = under;
        if (base.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp && tmp[0] == '/' ? tmp : "/tmp";
        }
        std::string pattern = base + "/brindlet-files.XXXXXX";
        char resolved[PATH_MAX];
        if (mkdtemp(pattern.data()) && realpath(pattern.c_str(), resolved))
            path_ = resolved;
        else
            ADD_FAILURE() << "cannot make a scratch folder from " << pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Every entry, hidden ones included, sorted.
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string operator/(std::string_view relative) const { return path_ + "/" + std::string(relative); }

    // Writes a file, making the folders it lies in.
    void Write(std::string_view relative, std::string_view contents) const
    {
        const std::filesystem::path path = *this / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << contents;
    }
    void MakeFolder(std::string_view relative) const { std::filesystem::create_directories(*this / relative); }
    void MakeLink(std::string_view relative, const std::string& target) const
    {
        std::filesystem::create_symlink(target, *this / relative);
    }
    // A reference to the item itself (a final link is not followed).
    FSRef Ref(std::string_view relative = "") const
    {
        const std::string path = relative.empty() ? path_ : *this / relative;
        FSRef ref{};
        FSPathMakeRefWithOptions(reinterpret_cast<const UInt8*>(path.c_str()), kFSPathMakeRefDoNotFollowLeafSymlink,
                                 &ref, nullptr);
        return ref;
    }

private:
    std::string path_;
};

inline std::string ReadWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline bool Exists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::symlink_status(path, ignored).type() != std::filesystem::file_type::not_found;
}

// While it lives, HOME and the XDG folders point into a scratch folder of
// their own (`home`, `config`, `data` and `cache` inside it; the first two
// made at once), so that trash, preferences and autostart entries of a test
// land there. Child processes started meanwhile inherit it, so tests that
// touch these places may run side by side and leave nothing behind.
class ScopedHome {
public:
    ScopedHome()
    {
        if (home_.Path().empty())
            return;
        home_.MakeFolder("home");
        home_.MakeFolder("config");
        environment_.Set("HOME", home_ / "home");
        environment_.Set("XDG_CONFIG_HOME", home_ / "config");
        environment_.Set("XDG_DATA_HOME", home_ / "data");
        environment_.Set("XDG_CACHE_HOME", home_ / "cache");
        // Restored too, for tests that point it elsewhere for a while.
        environment_.Set("TMPDIR", Saved("TMPDIR"));
    }
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

    const ScratchFolder& Folder() const { return home_; }
    std::string operator/(std::string_view relative) const { return home_ / relative; }
    // $XDG_CONFIG_HOME; empty when the scratch folder could not be made.
    std::string ConfigFolder() const { return home_.Path().empty() ? std::string() : home_ / "config"; }

private:
    static std::optional<std::string> Saved(const char* name)
    {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }

    ScratchFolder home_;
    ScopedEnvironment environment_;
};
