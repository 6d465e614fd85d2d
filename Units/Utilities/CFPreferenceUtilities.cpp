#include "CFPreferenceUtilities.h"

#include <Support/CFRef.h>

SInt32 CFPreferencesSavePropertyList(const FSRef& file, CFTypeRef plist)
{
    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &file));
    return CFPreferencesSavePropertyList(url.get(), plist);
}

SInt32 CFPreferencesSavePropertyList(CFURLRef url, CFTypeRef plist)
{
    if (url == nullptr)
        return -1;
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, plist));
    if (!xml)
        return -1;
    SInt32 status = 0;
    CFURLWriteDataAndPropertiesToResource(url, xml, nullptr, &status);
    return status;
}
