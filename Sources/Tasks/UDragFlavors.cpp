#include "UDragFlavors.h"

#include <ApplicationFramework/Classes/TDragUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace brindlet {

namespace {

// A record of another layout (an older or newer program) is not read.
constexpr UInt32 kDragObjectRecordVersion = 1;

std::vector<TCardProtocol*>& DragCards()
{
    static std::vector<TCardProtocol*> cards;
    return cards;
}

bool SameIdentifier(CFUUIDRef uuid, const CFUUIDBytes& bytes)
{
    if (uuid == nullptr)
        return false;
    const CFUUIDBytes own = CFUUIDGetUUIDBytes(uuid);
    return std::memcmp(&own, &bytes, sizeof own) == 0;
}

TTask* FindTask(TCardProtocol* card, const CFUUIDBytes& identifier)
{
    TBrowserProtocol* browser = card->GetBrowser();
    if (browser == nullptr)
        return nullptr;
    TArray* tasks = browser->CopyTasks();
    TTask* found = nullptr;
    for (void* value : *tasks) {
        auto* object = static_cast<TObject*>(value);
        if (!MemberOfClass(object, TTask::StaticClass()))
            continue;
        auto* task = static_cast<TTask*>(object);
        if (SameIdentifier(task->GetUUID(), identifier)) {
            found = task;
            break;
        }
    }
    tasks->Release();
    return found;
}

}  // namespace

bool MakeDragObjectRecord(CFUUIDRef identifier, DragObjectRecord& record)
{
    if (identifier == nullptr)
        return false;
    record = DragObjectRecord{};
    record.version = kDragObjectRecordVersion;
    record.processID = static_cast<SInt32>(getpid());
    record.identifier = CFUUIDGetUUIDBytes(identifier);
    return true;
}

bool AddDragObjectFlavor(DragRef drag, DragItemRef item, FlavorType type, CFUUIDRef identifier)
{
    DragObjectRecord record;
    if (drag == nullptr || !MakeDragObjectRecord(identifier, record))
        return false;
    return AddDragItemFlavor(drag, item, type, &record, sizeof record, 0) == noErr;
}

bool AddDragObjectFlavor(TDrag* drag, FlavorType type, CFUUIDRef identifier)
{
    DragObjectRecord record;
    if (drag == nullptr || !MakeDragObjectRecord(identifier, record))
        return false;
    drag->AddFlavor(type, &record, sizeof record);
    return Err == noErr;
}

bool ReadDragObjectFlavor(TDrag* drag, UInt16 index, FlavorType type, CFUUIDBytes& identifier)
{
    if (drag == nullptr || drag->GetFlavorSize(index, type) != static_cast<Size>(sizeof(DragObjectRecord)))
        return false;
    DragObjectRecord record{};
    if (!drag->GetFlavor(index, type, &record, sizeof record))
        return false;
    if (record.version != kDragObjectRecordVersion || record.processID != static_cast<SInt32>(getpid()))
        return false;
    identifier = record.identifier;
    return true;
}

bool AddTaskDragFlavor(TDrag* drag, TTask* task)
{
    return task != nullptr && AddDragObjectFlavor(drag, kTaskDragFlavor, task->GetUUID());
}

bool AddCardDragFlavor(TDrag* drag, TCardProtocol* card)
{
    return card != nullptr && AddDragObjectFlavor(drag, kCardDragFlavor, card->GetUUID());
}

TTask* ResolveTaskDragFlavor(TDrag* drag, UInt16 index)
{
    CFUUIDBytes identifier;
    if (!ReadDragObjectFlavor(drag, index, kTaskDragFlavor, identifier))
        return nullptr;
    for (TCardProtocol* card : DragCards()) {
        if (TTask* task = FindTask(card, identifier))
            return task;
    }
    return nullptr;
}

TCardProtocol* ResolveCardDragFlavor(TDrag* drag, UInt16 index)
{
    CFUUIDBytes identifier;
    if (!ReadDragObjectFlavor(drag, index, kCardDragFlavor, identifier))
        return nullptr;
    for (TCardProtocol* card : DragCards()) {
        if (SameIdentifier(card->GetUUID(), identifier))
            return card;
    }
    return nullptr;
}

void RegisterDragCard(TCardProtocol* card)
{
    auto& cards = DragCards();
    if (card != nullptr && std::find(cards.begin(), cards.end(), card) == cards.end())
        cards.push_back(card);
}

void UnregisterDragCard(TCardProtocol* card)
{
    auto& cards = DragCards();
    cards.erase(std::remove(cards.begin(), cards.end(), card), cards.end());
}

}  // namespace brindlet
