#include "Paths.h"

#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace Paths {

namespace {

// An environment value the base-directory specification lets us use.
bool AbsoluteVariable(const char* name, std::string* value)
{
    const char* text = std::getenv(name);
    if (text == nullptr || text[0] != '/')
        return false;
    *value = text;
    while (value->size() > 1 && value->back() == '/')
        value->pop_back();
    return true;
}

std::string XDGFolder(const char* variable, const char* underHome)
{
    std::string value;
    if (AbsoluteVariable(variable, &value))
        return value;
    return Home() + underHome;
}

// Removes "." and ".." components and doubled slashes, without asking the
// file system (the folder need not exist).
std::string Normalized(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& part : parts)
        out += "/" + part;
    return out.empty() ? "/" : out;
}

}  // namespace

std::string Home()
{
    std::string value;
    if (AbsoluteVariable("HOME", &value))
        return value;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/')
        return entry->pw_dir;
    return "/";
}

std::string ConfigHome()
{
    return XDGFolder("XDG_CONFIG_HOME", "/.config");
}

std::string DataHome()
{
    return XDGFolder("XDG_DATA_HOME", "/.local/share");
}

std::string CacheHome()
{
    return XDGFolder("XDG_CACHE_HOME", "/.cache");
}

std::string PreferencesFolder()
{
    return ConfigHome() + "/brindlet";
}

std::string LibraryFolder()
{
    return DataHome();
}

std::string CachesFolder()
{
    return CacheHome() + "/brindlet";
}

std::string TemporaryFolder()
{
    std::string value;
    if (AbsoluteVariable("TMPDIR", &value))
        return value;
    return "/tmp";
}

std::string TrashFolder()
{
    return DataHome() + "/Trash";
}

std::string AutostartFolder()
{
    return ConfigHome() + "/autostart";
}

std::string SystemSoundsFolder()
{
    return "/usr/share/sounds";
}

std::string UserSoundsFolder()
{
    return DataHome() + "/sounds";
}

std::string DesktopFolder()
{
    return Home() + "/Desktop";
}

std::string DocumentsFolder()
{
    return Home() + "/Documents";
}

std::string ApplicationResourcesFolder()
{
    char executable[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
    if (length <= 0)
        return Normalized("/usr/share/brindlet");
    std::string path(executable, static_cast<size_t>(length));
    path.erase(path.rfind('/') + 1);
    return Normalized(path + "../share/brindlet");
}

}  // namespace Paths
