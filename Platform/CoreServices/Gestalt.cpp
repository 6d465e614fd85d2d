#include "Gestalt.h"

OSErr Gestalt(OSType selector, SInt32* response)
{
    if (response == nullptr)
        return paramErr;
    switch (selector) {
    case gestaltSystemVersion:
        *response = 0x1068;
        return noErr;
    case gestaltSystemVersionMajor:
        *response = 10;
        return noErr;
    case gestaltSystemVersionMinor:
        *response = 6;
        return noErr;
    case gestaltSystemVersionBugFix:
        *response = 8;
        return noErr;
    default:
        return gestaltUndefSelectorErr;
    }
}
