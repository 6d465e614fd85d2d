// The drag flavours that name an object of this program: 'task' (a task
// row) and 'card' (a card dragged out of the screen). The flavour carries the
// process that made the drag and the object's unique identifier, never its
// address: a drag from another copy of the program, or a flavour written by
// anything else, must not lead us to touch memory we do not own.
//
// Reading a flavour finds the live object of this process by identifier
// among the cards that hold rows (each card registers itself while it
// lives); an object that went away meanwhile simply is not found.
#pragma once

#include <Sources/Tasks/UTask.h>

#include <HIToolbox/Drag.h>

class TCard;
class TDrag;

namespace brindlet {

inline constexpr FlavorType kTaskDragFlavor = FourCC("task");
inline constexpr FlavorType kCardDragFlavor = FourCC("card");

// The bytes of the flavour, native byte order: it never leaves the machine.
struct DragObjectRecord {
    UInt32 version;
    SInt32 processID;
    CFUUIDBytes identifier;
};

// The record of `identifier` for this process; false for a nil identifier.
bool MakeDragObjectRecord(CFUUIDRef identifier, DragObjectRecord& record);
// Adds the flavour `type` naming `identifier` to the drag's item (the Drag
// Manager's or the drag object's own); false when there is no identifier or
// the flavour could not be added.
bool AddDragObjectFlavor(DragRef drag, DragItemRef item, FlavorType type, CFUUIDRef identifier);
bool AddDragObjectFlavor(TDrag* drag, FlavorType type, CFUUIDRef identifier);
// The identifier a flavour of item `index` names, when the flavour is
// exactly a record of our version made by this process.
bool ReadDragObjectFlavor(TDrag* drag, UInt16 index, FlavorType type, CFUUIDBytes& identifier);

// What a row's drag adds: the 'task' flavour of `task` (a row in a tree:
// the invisible root has no identifier and is never dragged).
bool AddTaskDragFlavor(TDrag* drag, TTask* task);
// The same for a card.
bool AddCardDragFlavor(TDrag* drag, TCardProtocol* card);
// The live row or card a flavour of item `index` names; nil for a flavour of
// another process, of the wrong size, or naming nothing that lives here.
// Borrowed.
TTask* ResolveTaskDragFlavor(TDrag* drag, UInt16 index);
TCardProtocol* ResolveCardDragFlavor(TDrag* drag, UInt16 index);

// The cards whose rows and identifiers the flavours are resolved against.
// A card registers itself when it is made and leaves before it is freed.
void RegisterDragCard(TCardProtocol* card);
void UnregisterDragCard(TCardProtocol* card);

}  // namespace brindlet
