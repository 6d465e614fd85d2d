#include "MacEquivalents.h"

#include "Paths.h"

#include <array>

namespace MacEquivalents {

namespace {

enum class Base { None, Resources, SystemSounds };

struct Row {
    std::string_view mac;
    Base base;
    std::string_view here;
};

constexpr std::array kRows{
    Row{"/Library/Desktop Pictures/Aqua Blue.jpg", Base::Resources, "Images/Desktop.png"},
    Row{"/System/Library/Sounds/Blow.aiff", Base::SystemSounds, "freedesktop/stereo/bell.oga"},
    Row{"Chalkboard Bold", Base::None, "DejaVu Sans Bold"},
    Row{"Verdana", Base::None, "DejaVu Sans"},
    Row{"Arial Bold", Base::None, "DejaVu Sans Bold"},
    Row{"Helvetica", Base::None, "DejaVu Sans"},
    Row{"Helvetica Bold", Base::None, "DejaVu Sans Bold"},
    Row{"Helvetica Neue", Base::None, "DejaVu Sans"},
    Row{"Lucida Grande Bold", Base::None, "DejaVu Sans Bold"},
};

constexpr std::string_view kUserLibrary = "~/Library/";

}  // namespace

std::string Equivalent(std::string_view macValue)
{
    if (macValue.substr(0, kUserLibrary.size()) == kUserLibrary)
        return Paths::LibraryFolder() + "/" + std::string(macValue.substr(kUserLibrary.size()));
    for (const Row& row : kRows) {
        if (row.mac != macValue)
            continue;
        switch (row.base) {
        case Base::Resources:
            return Paths::ApplicationResourcesFolder() + "/" + std::string(row.here);
        case Base::SystemSounds:
            return Paths::SystemSoundsFolder() + "/" + std::string(row.here);
        case Base::None:
            return std::string(row.here);
        }
    }
    return std::string(macValue);
}

}  // namespace MacEquivalents
