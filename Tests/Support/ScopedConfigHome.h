#pragma once

// A configuration folder of a test's own: XDG_CONFIG_HOME points at a fresh
// temporary folder while the object lives (child processes inherit it), so
// tests that touch preferences may run side by side and leave nothing behind.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class ScopedConfigHome {
public:
    explicit ScopedConfigHome(const std::string& prefix)
    {
        std::string pattern = testing::TempDir() + prefix + ".XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot make a temporary folder from " << pattern;
            return;
        }
        path_ = pattern;
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            hadOld_ = true;
            old_ = old;
        }
        setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
    }
    ~ScopedConfigHome()
    {
        if (path_.empty())
            return;
        if (hadOld_)
            setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScopedConfigHome(const ScopedConfigHome&) = delete;
    ScopedConfigHome& operator=(const ScopedConfigHome&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool hadOld_ = false;
    std::string old_;
};
