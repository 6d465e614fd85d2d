// What the desktop program's units share: the build editions and the
// application's identity.
#pragma once

#include <ApplicationFramework/Classes/TApplicationUnit.h>
// The application protocol (TBrindletApplicationProtocol) with the other
// protocol classes.
#include <Sources/Cards/Globals.h>

// The editions are chosen when the program is built (BRINDLET_EDITION in
// CMake): the ordinary one is neither of the two.
#ifndef BRINDLET_EDITION_MINI
#define BRINDLET_EDITION_MINI 0
#endif
#ifndef BRINDLET_EDITION_QUILLET
#define BRINDLET_EDITION_QUILLET 0
#endif
inline constexpr bool BrindletMini = BRINDLET_EDITION_MINI != 0;
inline constexpr bool Quillet = BRINDLET_EDITION_QUILLET != 0;
static_assert(!(BrindletMini && Quillet), "one edition at a time");

// The application's signature (creator), the same in every edition.
inline constexpr UInt32 kBrindletSignature = FourCC("ovbr");

// The bundle identifier of the edition being built.
inline constexpr const char* BrindletBundleIdentifier()
{
    if constexpr (BrindletMini)
        return "com.orvandel.BrindletMini";
    else if constexpr (Quillet)
        return "com.orvandel.Quillet";
    else
        return "com.orvandel.Brindlet";
}
