// Which program the units run in. The desktop program and its helper are
// built from the same units; where the helper's build of a unit behaves
// differently, the unit holds both behaviours and asks here. The program
// sets its profile in main, before InitializeUnits.
#pragma once

enum class RuntimeProfile {
    Desktop,
    Helper,
};

void SetRuntimeProfile(RuntimeProfile profile);
RuntimeProfile GetRuntimeProfile();
inline bool IsHelperProfile()
{
    return GetRuntimeProfile() == RuntimeProfile::Helper;
}
