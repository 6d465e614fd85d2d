// A framework object's pointer in a Cocoa object, so that it can travel
// through Cocoa collections and archives. The object is not retained.
//
// An archive holds the pointer itself (pointer-sized) under
// "wrappedObject": it means something only in the process that wrote it,
// and only while the object lives. Unarchiving checks that: a pointer that
// is not a live framework object comes back as a wrapper of nil.
#pragma once

#include <Units/Classes/TObjectUnit.h>

#include <Foundation/Foundation.h>

class NSObjectWrapper : public NSObject, public NSCoding {
public:
    // Autoreleased.
    static NSObjectWrapper* wrapperWithObject(TObject* object);
    // Owned by the caller.
    static NSObjectWrapper* newWithObject(TObject* object);

    TObject* wrappedObject() const { return wrappedObject_; }
    // A new wrapper of the same object, owned by the caller.
    NSObjectWrapper* copy() const;

    void encodeWithCoder(NSCoder* coder) const override;
    // The decoder registered for the class: a new wrapper of the archived
    // object when it is a live framework object, else of nil.
    static NSObject* newWithCoder(NSCoder* coder);

    const char* className() const override { return "NSObjectWrapper"; }

private:
    explicit NSObjectWrapper(TObject* object) : wrappedObject_(object) {}

    TObject* wrappedObject_;  // not retained
};

// Registers the wrapper's decoder with the keyed unarchiver.
void InitializeUObjectWrapperUnit();
