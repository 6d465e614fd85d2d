#include "TEventDispatchUnit.h"

#include <Support/Diagnostics.h>

#include <string>

TEventDispatch* DispatchCenter = nullptr;
TObjectDictionary* DispatchTable = nullptr;

void TEventDispatch::RegisterAction(NSControl* control, const ShortString& action, TObject* target)
{
    if (control == nullptr) {
        Diagnostics::WriteLine("Warning: control for action " + action.ToString() + " was not found.");
        return;
    }
    InitializeEventDispatchUnit();
    // A nil target takes the name's earlier one away, so that the action
    // reports itself unanswered instead of reaching a stale receiver.
    if (target)
        DispatchTable->SetValue(action, target);
    else
        DispatchTable->Remove(action);
    control->setTarget(DispatchCenter);
    control->setAction(action.View());
    // Every action runs the one dispatcher; the class keeps the first
    // method added for a name, which is this same one.
    NSObjectAddMethod(DispatchCenter->className(), action.View(), DispatchWaitingMessages);
}

void DispatchWaitingMessages(NSObject*, std::string_view selector, NSObject* sender)
{
    const ShortString name(selector);
    auto* target = DispatchTable ? static_cast<TObject*>(DispatchTable->GetValue(name)) : nullptr;
    if (target == nullptr) {
        Diagnostics::WriteLine("Warning: the action " + name.ToString() + " could not be found.");
        return;
    }
    // The target stays while its method runs, even if the method registers
    // another target under its own name.
    target->Retain();
    target->InvokeMethod(name, sender);
    target->Release();
}

void InitializeEventDispatchUnit()
{
    if (DispatchCenter == nullptr)
        DispatchCenter = new TEventDispatch();
    if (DispatchTable == nullptr)
        DispatchTable = TObjectDictionary::Create();
}
