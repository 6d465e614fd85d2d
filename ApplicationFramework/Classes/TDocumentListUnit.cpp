#include "TDocumentListUnit.h"

#include <ApplicationFramework/Classes/TViewUnit.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <HIToolbox/MacWindows.h>

BRINDLET_DEFINE_CLASS(TDocument, TObject)
BRINDLET_DEFINE_CLASS(TDocumentList, TObject)

namespace {

// Documents are held by identity and not owned: a document belongs to its
// program, which removes it from the list before freeing it.
const CFArrayCallBacks kDocumentCallBacks = {0, CFRetainPointerCallback, nullptr, nullptr, nullptr};

TDocument* DocumentAt(CFArrayRef list, CFIndex index)
{
    return static_cast<TDocument*>(const_cast<void*>(CFArrayGetValueAtIndex(list, index)));
}

}  // namespace

// ---- TDocument ----

void TDocument::Deallocate()
{
    ReleaseObject(view_);
    Inherited::Deallocate();
}

bool TDocument::HasValidFile()
{
    return FSValidFSRef(GetFile());
}

void TDocument::SetView(TView* view)
{
    RetainObject(view_, view);
}

// ---- TDocumentList ----

void TDocumentList::Initialize()
{
    Inherited::Initialize();
    documents_ = CFArrayCreateMutable(nullptr, 0, &kDocumentCallBacks);
}

void TDocumentList::Deallocate()
{
    if (documents_ != nullptr)
        CFRelease(documents_);
    documents_ = nullptr;
    active_ = nullptr;
    Inherited::Deallocate();
}

CFArrayRef TDocumentList::GetDirtyDocuments()
{
    CFMutableArrayRef dirty = CFArrayCreateMutable(nullptr, 0, &kDocumentCallBacks);
    for (CFIndex i = 0; i < CFArrayGetCount(documents_); ++i) {
        if (DocumentAt(documents_, i)->IsDirty())
            CFArrayAppendValue(dirty, DocumentAt(documents_, i));
    }
    return dirty;
}

bool TDocumentList::ContainsDirtyDocuments()
{
    for (CFIndex i = 0; i < CFArrayGetCount(documents_); ++i) {
        if (DocumentAt(documents_, i)->IsDirty())
            return true;
    }
    return false;
}

TDocument* TDocumentList::GetNext()
{
    const CFIndex count = CFArrayGetCount(documents_);
    const CFIndex index = CFArrayGetFirstIndexOfValue(documents_, CFRangeMake(0, count), active_);
    if (active_ == nullptr || index < 0)
        return nullptr;
    return DocumentAt(documents_, (index + 1) % count);
}

SInt16 TDocumentList::GetCount()
{
    return static_cast<SInt16>(CFArrayGetCount(documents_));
}

CFArrayRef TDocumentList::CopyList()
{
    const CFIndex count = CFArrayGetCount(documents_);
    if (count == 0)
        return nullptr;
    CFMutableArrayRef list = CFArrayCreateMutable(nullptr, count, &kCFTypeArrayCallBacks);
    for (CFIndex i = 0; i < count; ++i) {
        const FSRef file = DocumentAt(documents_, i)->GetFile();
        CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(&file), sizeof file);
        CFArrayAppendValue(list, data);
        CFRelease(data);
    }
    return list;
}

void TDocumentList::ApplyFunction(TDocumentListApplierFunction function, void* context)
{
    if (function == nullptr)
        return;
    for (CFIndex i = 0; i < CFArrayGetCount(documents_); ++i)
        function(DocumentAt(documents_, i), context);
}

TDocument* TDocumentList::FindDocument(const FSRef& item)
{
    for (CFIndex i = 0; i < CFArrayGetCount(documents_); ++i) {
        const FSRef file = DocumentAt(documents_, i)->GetFile();
        if (FSCompareFSRefs(&file, &item) == noErr)
            return DocumentAt(documents_, i);
    }
    return nullptr;
}

void TDocumentList::Clear()
{
    CFArrayRemoveAllValues(documents_);
    active_ = nullptr;
}

void TDocumentList::Append(TDocument* document)
{
    if (document == nullptr)
        return;
    CFArrayAppendValue(documents_, document);
    active_ = document;
}

bool TDocumentList::Contains(const TDocument* document) const
{
    return document != nullptr &&
           CFArrayGetFirstIndexOfValue(documents_, CFRangeMake(0, CFArrayGetCount(documents_)), document) >= 0;
}

void TDocumentList::Remove(TDocument* document)
{
    const CFIndex index =
        CFArrayGetFirstIndexOfValue(documents_, CFRangeMake(0, CFArrayGetCount(documents_)), document);
    if (document == nullptr || index < 0)
        return;
    active_ = nullptr;
    CFArrayRemoveValueAtIndex(documents_, index);
}

void TDocumentList::Select(TDocument* document)
{
    if (Contains(document) && document->GetView() != nullptr)
        document->GetView()->SelectViewObject();
}

void RemoveDocumentFromList(TDocument* document, WindowRef window)
{
    TDocumentList* list = nullptr;
    if (GetWindowProperty(window, FourCC("WIND"), kWindowPropertyTagDocumentList, sizeof list, nullptr, &list) !=
            noErr ||
        !TObject::IsLiveObject(list))
        return;
    list->Remove(document);
}
