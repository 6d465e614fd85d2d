// Undo and redo. One shared manager keeps two stacks of undoable actions,
// the most recent last. An action is only a record of who can undo it: a
// name for the menu, a target that knows how (called by name with
// "HandleUndoAction" or "HandleRedoAction" and a TTypeDictionary holding
// "name" and, when there is one, "sender" as a pointer), and the sender the
// target needs for it (the card, task or text that changed). The target is
// not retained: whoever owns it removes its actions before it goes.
#pragma once

#include <Units/Classes/TArrayUnit.h>
#include <Units/Classes/TObjectUnit.h>

#include <CarbonCore/CarbonEvents.h>

class TUndoableAction : public TObject {
    BRINDLET_CLASS(TUndoableAction, TObject)

public:
    // The sender is retained while the action lives (when not nil).
    static TUndoableAction* Create(const ShortString& name, TObject* target, TObject* sender);

    void Deallocate() override;
    void Show() override;

    // Calls the target's "HandleUndoAction" or "HandleRedoAction" by name.
    void Undo();
    void Redo();

    ShortString GetName() const { return name_; }
    TObject* GetTarget() const { return target_; }
    TObject* GetSender() const { return sender_; }
    // Set when the action starts to be freed.
    bool IsRemoving() const { return removing_; }
    // Whether `object` is the sender.
    bool Compare(const TObject* object) const { return sender_ == object; }
    // "Undo " and "Redo " followed by the name; constant strings, never released.
    CFStringRef GetUndoMenuItem() const;
    CFStringRef GetRedoMenuItem() const;

protected:
    TUndoableAction() = default;

private:
    void Perform(const ShortString& handler);

    ShortString name_;
    TObject* target_ = nullptr;
    TObject* sender_ = nullptr;
    bool removing_ = false;
};

// Answers true for each action the filtered RemoveAllActions is to remove.
typedef Boolean (*UndoableActionCallback)(TObject* object, TUndoableAction* action, void* data);

class TUndoManager : public TObject {
    BRINDLET_CLASS(TUndoManager, TObject)

public:
    static TUndoManager* Create() { return CreateInstance<TUndoManager>(); }
    // The program's one manager, made by the unit's initialisation.
    static TUndoManager* SharedManager();

    // At most this many actions stay behind an append: once more are held,
    // the oldest is dropped before the next is added.
    static constexpr SInt32 kUndoLimit = 30;

    void Initialize() override;
    void Deallocate() override;

    // With a nil target: a warning line and nothing else. The redo stack is
    // kept.
    void AppendAction(const ShortString& name, TObject* target, TObject* sender);

    // Post "TUndoManager.WillUndo" ("TUndoManager.WillRedo") on the local
    // center, then undo (redo) the most recent action and move it to the
    // other stack. The target's handler may append or remove actions, this
    // one included: the action is held across the call and moved afterwards
    // only if it is still on its stack. Nothing happens with an empty stack.
    void Undo();
    void Redo();
    bool CanUndo() const { return undoStack_->Count() > 0; }
    bool CanRedo() const { return redoStack_->Count() > 0; }
    // Drops the most recent undo action; the redo stack is untouched.
    void RemovePreviousUndo();

    // Empties both stacks.
    void RemoveAllActions();
    // Removes from both stacks every action whose target is `target`, or for
    // which `callback(object, action, data)` answers true. An action that is
    // being freed stays (its own teardown may have started the removal).
    void RemoveAllActions(TObject* target);
    void RemoveAllActions(TObject* object, UndoableActionCallback callback, void* data);

    // "Undo <name>" of the most recent undo action, else "Undo"; "Redo
    // <name>" or "Redo" likewise. Constant strings, never released.
    CFStringRef GetUndoMenuItem() const;
    CFStringRef GetRedoMenuItem() const;

    // For 'undo' and 'redo' from a menu: the item's text follows the stack,
    // and it is enabled only when there is something to undo (redo). Other
    // commands are left alone.
    void UpdateCommandStatus(const HICommand& command);
    void UpdateCommandStatus(const HICommandExtended& command);
    // 'undo' and 'redo' run Undo and Redo and set `result` to noErr; any
    // other command leaves `result` as it is.
    void ProcessCommand(const HICommand& command, OSStatus& result);
    void ProcessCommand(const HICommandExtended& command, OSStatus& result);

    // The stacks, borrowed; the most recent action last.
    TObjectArray* GetUndoStack() const { return undoStack_; }
    TObjectArray* GetRedoStack() const { return redoStack_; }

protected:
    TUndoManager() = default;

private:
    void Move(TObjectArray* from, TObjectArray* to, bool undo);
    void RemoveMatching(TObjectArray* stack, TObject* object, UndoableActionCallback callback, void* data);

    TObjectArray* undoStack_ = nullptr;
    TObjectArray* redoStack_ = nullptr;
};

// Makes the shared manager.
void InitializeTUndoManagerUnit();
