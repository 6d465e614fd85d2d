#include "TUndoManagerUnit.h"

#include <Units/Classes/TDictionaryUnit.h>
#include <Units/Classes/TResponderUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <HIToolbox/Menus.h>
#include <Support/Diagnostics.h>

#include <vector>

namespace {

TUndoManager* gSharedManager = nullptr;

Boolean TargetIs(TObject* target, TUndoableAction* action, void*)
{
    return action->GetTarget() == target;
}

}  // namespace

BRINDLET_DEFINE_CLASS(TUndoableAction, TObject)
BRINDLET_DEFINE_CLASS(TUndoManager, TObject)

// ---- actions ----

TUndoableAction* TUndoableAction::Create(const ShortString& name, TObject* target, TObject* sender)
{
    TUndoableAction* action = AllocateInstance<TUndoableAction>();
    action->name_ = name;
    action->target_ = target;
    RetainObject(action->sender_, sender);
    action->Initialize();
    return action;
}

void TUndoableAction::Deallocate()
{
    removing_ = true;
    ReleaseObject(sender_);
    Inherited::Deallocate();
}

void TUndoableAction::Show()
{
    Diagnostics::WriteLine(name_.ToString());
}

void TUndoableAction::Perform(const ShortString& handler)
{
    TTypeDictionary* details = TTypeDictionary::Create();
    if (sender_ != nullptr)
        details->SetPointerValue("sender", sender_);
    details->SetStringValue("name", name_);
    target_->InvokeMethod(handler, details);
    details->Release();
}

void TUndoableAction::Undo()
{
    Perform("HandleUndoAction");
}

void TUndoableAction::Redo()
{
    Perform("HandleRedoAction");
}

CFStringRef TUndoableAction::GetUndoMenuItem() const
{
    return CFSTR(ShortString("Undo ") + name_.View());
}

CFStringRef TUndoableAction::GetRedoMenuItem() const
{
    return CFSTR(ShortString("Redo ") + name_.View());
}

// ---- the manager ----

TUndoManager* TUndoManager::SharedManager()
{
    return gSharedManager;
}

void TUndoManager::Initialize()
{
    Inherited::Initialize();
    undoStack_ = TObjectArray::Create();
    redoStack_ = TObjectArray::Create();
}

void TUndoManager::Deallocate()
{
    ReleaseObject(undoStack_);
    ReleaseObject(redoStack_);
    Inherited::Deallocate();
}

void TUndoManager::AppendAction(const ShortString& name, TObject* target, TObject* sender)
{
    if (target == nullptr) {
        Diagnostics::WriteLine("Warning: Failed to append undoable action with nil target.");
        return;
    }
    if (undoStack_->Count() > kUndoLimit)
        undoStack_->RemoveFirst();
    TUndoableAction* action = TUndoableAction::Create(name, target, sender);
    undoStack_->AppendValue(action);
    action->Release();
}

void TUndoManager::Move(TObjectArray* from, TObjectArray* to, bool undo)
{
    auto* action = static_cast<TUndoableAction*>(from->GetLastValue());
    if (action == nullptr)
        return;
    // The handler may remove this action (and free it, but for this
    // reference) or add others; the stacks are looked at again afterwards.
    action->Retain();
    // The target is not retained: one freed without removing its actions
    // cannot be called, and its action is of no further use.
    const bool targetLive = IsLiveObject(action->GetTarget());
    if (targetLive) {
        if (undo)
            action->Undo();
        else
            action->Redo();
    }
    const SInt32 index = from->GetIndex(action);
    if (index >= 0) {
        if (targetLive)
            to->AppendValue(action);
        from->Remove(index);
    }
    action->Release();
}

void TUndoManager::Undo()
{
    if (!CanUndo())
        return;
    TResponder::PostNotification("TUndoManager.WillUndo");
    Move(undoStack_, redoStack_, true);
}

void TUndoManager::Redo()
{
    if (!CanRedo())
        return;
    TResponder::PostNotification("TUndoManager.WillRedo");
    Move(redoStack_, undoStack_, false);
}

void TUndoManager::RemovePreviousUndo()
{
    undoStack_->RemoveLast();
}

void TUndoManager::RemoveAllActions()
{
    undoStack_->RemoveAll();
    redoStack_->RemoveAll();
}

void TUndoManager::RemoveAllActions(TObject* target)
{
    RemoveAllActions(target, TargetIs, nullptr);
}

void TUndoManager::RemoveAllActions(TObject* object, UndoableActionCallback callback, void* data)
{
    if (callback == nullptr)
        return;
    RemoveMatching(undoStack_, object, callback, data);
    RemoveMatching(redoStack_, object, callback, data);
}

void TUndoManager::RemoveMatching(TObjectArray* stack, TObject* object, UndoableActionCallback callback, void* data)
{
    // The walk goes over a held copy of the stack: an action let go of here
    // is freed only after the walk, so the sender's teardown that its
    // freeing may start (and the removals that teardown makes) cannot
    // change the stack under the walk.
    std::vector<TUndoableAction*> snapshot;
    for (void* value : *stack) {
        auto* action = static_cast<TUndoableAction*>(value);
        // One already being freed is left alone (and must not be revived).
        if (action->IsRemoving())
            continue;
        action->Retain();
        snapshot.push_back(action);
    }
    for (TUndoableAction* action : snapshot)
        if (callback(object, action, data))
            stack->RemoveValue(action);
    for (TUndoableAction* action : snapshot)
        action->Release();
}

CFStringRef TUndoManager::GetUndoMenuItem() const
{
    auto* action = static_cast<TUndoableAction*>(undoStack_->GetLastValue());
    return action ? action->GetUndoMenuItem() : CFSTR(ShortString("Undo"));
}

CFStringRef TUndoManager::GetRedoMenuItem() const
{
    auto* action = static_cast<TUndoableAction*>(redoStack_->GetLastValue());
    return action ? action->GetRedoMenuItem() : CFSTR(ShortString("Redo"));
}

void TUndoManager::UpdateCommandStatus(const HICommand& command)
{
    const bool undo = command.commandID == FCC("undo");
    if (!undo && command.commandID != FCC("redo"))
        return;
    // Only a command from a menu names a menu item.
    if ((command.attributes & kHICommandFromMenu) == 0)
        return;
    MenuRef menu = command.menu.menuRef;
    const MenuItemIndex item = command.menu.menuItemIndex;
    SetMenuItemTextWithCFString(menu, item, undo ? GetUndoMenuItem() : GetRedoMenuItem());
    if (undo ? CanUndo() : CanRedo())
        EnableMenuItem(menu, item);
    else
        DisableMenuItem(menu, item);
}

void TUndoManager::UpdateCommandStatus(const HICommandExtended& command)
{
    HICommand plain{};
    plain.attributes = command.attributes;
    plain.commandID = command.commandID;
    plain.menu.menuRef = command.source.menu.menuRef;
    plain.menu.menuItemIndex = command.source.menu.menuItemIndex;
    UpdateCommandStatus(plain);
}

void TUndoManager::ProcessCommand(const HICommand& command, OSStatus& result)
{
    if (command.commandID == FCC("undo")) {
        Undo();
        result = noErr;
    } else if (command.commandID == FCC("redo")) {
        Redo();
        result = noErr;
    }
}

void TUndoManager::ProcessCommand(const HICommandExtended& command, OSStatus& result)
{
    HICommand plain{};
    plain.attributes = command.attributes;
    plain.commandID = command.commandID;
    ProcessCommand(plain, result);
}

void InitializeTUndoManagerUnit()
{
    if (gSharedManager == nullptr)
        gSharedManager = TUndoManager::Create();
}
