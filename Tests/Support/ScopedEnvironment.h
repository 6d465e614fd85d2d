#pragma once

// Sets (or, with nullopt, unsets) environment variables for one scope and
// puts back what was there before, in reverse order, when it goes.
// Child processes started meanwhile inherit the changed values.

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            Apply(it->first.c_str(), it->second);
    }

    void Set(const char* name, std::optional<std::string> value)
    {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        Apply(name, value);
    }
    void Unset(const char* name) { Set(name, std::nullopt); }

private:
    static void Apply(const char* name, const std::optional<std::string>& value)
    {
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
