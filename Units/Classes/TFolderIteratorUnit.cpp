#include "TFolderIteratorUnit.h"

#include <cstring>
#include <memory>

BRINDLET_DEFINE_CLASS(TFolderIterator, TObject)

IteratorNodeInfo DefaultIteratorNodeInfo()
{
    return IteratorNodeInfo{0, {}, 0, 0, 0, {}};
}

TFolderIterator* TFolderIterator::Create(const FSRef& folder, SInt16 maxDepth, TPointerArray*& files)
{
    return CreateIterator<TFolderIterator>(folder, maxDepth, files);
}

void TFolderIterator::Iterate(const FSRef& folder, SInt16 maxDepth, TPointerArray*& files)
{
    userCanceled_ = false;
    state_ = DefaultIteratorNodeInfo();
    state_.maxDepth = maxDepth;
    files_ = TPointerArray::Create();
    WalkFolder(folder, DefaultIteratorNodeInfo());
    files = files_;
}

void TFolderIterator::SetUserCanceled(bool value)
{
    userCanceled_ = value;
}

bool TFolderIterator::RecurseFolder(const FSRef& folder, SInt16)
{
    return FSIsFolder(folder);
}

SInt32 TFolderIterator::GotFolder(const FSRef&, SInt32)
{
    return 0;
}

SInt32 TFolderIterator::GotFile(const FSRef&, SInt32)
{
    return 0;
}

void TFolderIterator::WalkFolder(const FSRef& folder, const IteratorNodeInfo& saved)
{
    // A reference that is no folder, or one that cannot be read, opens no
    // iterator: the folder's walk ends at once, silently.
    FSIterator iterator = nullptr;
    if (FSOpenIterator(&folder, kFSIterateFlat, &iterator) == noErr) {
        // The item lives on the heap: a reference holds a whole path, and
        // one per level of a tree nested as deep as a path allows would
        // overrun the stack.
        const auto item = std::make_unique<FSRef>();
        while (true) {
            ItemCount found = 0;
            const OSErr status = FSGetCatalogInfoBulk(iterator, 1, &found, nullptr, kFSCatInfoNone, nullptr, item.get(),
                                                      nullptr, nullptr);
            if (status == noErr || (status == errFSNoMoreItems && found == 1))
                HandleItem(*item);
            if (status != noErr || userCanceled_)
                break;
        }
        FSCloseIterator(iterator);
    }
    const SInt16 count = state_.count;
    state_ = saved;
    state_.count = count;
}

void TFolderIterator::HandleItem(const FSRef& item)
{
    state_.count = static_cast<SInt16>(state_.count + 1);
    const bool isFolder = FSIsFolder(item);
    const ShortString63 name = FSGetActualName(item);
    if (files_) {
        if (Ptr block = NewPtr(sizeof(FSRef))) {
            std::memcpy(block, &item, sizeof(FSRef));
            files_->AppendValue(block);
        }
    }
    if (name.View().substr(0, 1) == ".")
        return;
    const SInt32 answer = isFolder ? GotFolder(item, state_.data) : GotFile(item, state_.data);
    if (isFolder && !userCanceled_ && state_.depth <= state_.maxDepth && state_.maxDepth > 0 &&
        RecurseFolder(item, state_.depth)) {
        const IteratorNodeInfo saved = state_;
        state_.name = name;
        state_.data = answer;
        state_.depth = static_cast<SInt16>(state_.depth + 1);
        state_.path += "/";
        state_.path += name.View();
        WalkFolder(item, saved);
    }
}

TPointerArray* FSCopyFolderFiles(const FSRef& folder)
{
    TPointerArray* files = nullptr;
    TFolderIterator* iterator = TFolderIterator::Create(folder, 32767, files);
    iterator->Release();
    return files;
}
