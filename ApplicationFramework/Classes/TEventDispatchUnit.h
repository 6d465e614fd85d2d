// Sends the actions of Cocoa controls to framework objects: a control
// registered for an action name sends that action to the shared dispatch
// center, which calls the method of that name on the object registered
// for it, with the control as the parameter.
#pragma once

#include <Units/Classes/TDictionaryUnit.h>

#include <AppKit/NSControl.h>

class TEventDispatch : public NSObject {
public:
    // Stores `target` (retained) as the receiver of `action`, replacing an
    // earlier one (a nil target just removes it), and makes the dispatch center the control's target with
    // `action` as its action. A nil control writes "Warning: control for
    // action <action> was not found." and registers nothing.
    static void RegisterAction(NSControl* control, const ShortString& action, TObject* target);

    const char* className() const override { return "TEventDispatch"; }

private:
    friend void InitializeEventDispatchUnit();
    TEventDispatch() = default;
};

// The shared instance every registered control targets.
extern TEventDispatch* DispatchCenter;
// Action name to target object.
extern TObjectDictionary* DispatchTable;

// The method every registered action runs on the dispatch center: the
// target stored under the action's name gets InvokeMethod(name, sender);
// with none, "Warning: the action <name> could not be found.".
void DispatchWaitingMessages(NSObject* self, std::string_view selector, NSObject* sender);

// Creates the dispatch center and its table when they are missing.
void InitializeEventDispatchUnit();
