// Property lists: trees of dictionaries (string keys), arrays, strings,
// numbers, booleans, dates and data, written and read as XML.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFString.h>

typedef CFOptionFlags CFPropertyListMutabilityOptions;
enum : CFPropertyListMutabilityOptions {
    kCFPropertyListImmutable = 0,
    kCFPropertyListMutableContainers = 1,
    kCFPropertyListMutableContainersAndLeaves = 2,
};

typedef CFIndex CFPropertyListFormat;
enum : CFPropertyListFormat {
    kCFPropertyListOpenStepFormat = 1,
    kCFPropertyListXMLFormat_v1_0 = 100,
    kCFPropertyListBinaryFormat_v1_0 = 200,
};

// The XML form of a property list: an XML declaration, the property-list
// document type, and a "plist" element of version 1.0 holding the value,
// indented with tabs, dictionary keys in sorted order. Nil when the value is
// not a property list (a value of another type, a key that is not a string).
CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef allocator, CFPropertyListRef propertyList);

// Parses an XML property list. Nil on anything malformed or unsafe, with a
// new string saying why in `errorString` (when given; the caller releases
// it). No external entity or document type is ever fetched; an internal
// document-type subset, entity declarations and nesting deeper than 512
// levels are refused.
CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef allocator, CFDataRef xmlData,
                                                  CFOptionFlags mutabilityOption, CFStringRef* errorString);

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef allocator, CFPropertyListRef propertyList,
                                               CFOptionFlags mutabilityOption);

// Whether the value is a property list that can be written in the format
// (only the XML format is written here).
Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format);
