#include "RuntimeProfile.h"

namespace {

RuntimeProfile gProfile = RuntimeProfile::Desktop;

}  // namespace

void SetRuntimeProfile(RuntimeProfile profile)
{
    gProfile = profile;
}

RuntimeProfile GetRuntimeProfile()
{
    return gProfile;
}
