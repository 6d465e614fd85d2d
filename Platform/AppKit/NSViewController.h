// View controllers: the owner of one view tree, loaded from a nib the first
// time the view is asked for.
//
// A Cocoa nib on this system is a view builder registered under the nib's
// name (NSNibRegisterViewBuilder) by the code that designs the view: it
// makes the tree in code, as the nib's archive would, and answers its root.
// The controller finds the builder by name when it loads its view; without
// one of that name the view stays nil, as a missing nib leaves it. A
// subclass may load its view its own way by overriding loadView.
#pragma once

#include <AppKit/NSView.h>
#include <CoreFoundation/CFBundle.h>
#include <Foundation/NSString.h>

#include <string>
#include <string_view>

class NSViewController : public NSObject {
public:
    // Owned by the caller. The bundle is accepted and not searched: the
    // builders are the program's own, whatever bundle they came with.
    static NSViewController* newWithNibName(const NSString* nibName, CFBundleRef bundle);

    const std::string& nibName() const { return nibName_; }
    // The root of the tree (borrowed), loaded on first use; nil when the
    // nib has no builder or its builder made nothing.
    NSView* view();
    // Retained; the previous view is released. Counts as loaded.
    void setView(NSView* view);
    bool isViewLoaded() const { return loaded_; }
    // Makes the view: the nib's builder, when there is one.
    virtual void loadView();

    const char* className() const override { return "NSViewController"; }

protected:
    explicit NSViewController(std::string nibName) : nibName_(std::move(nibName)) {}
    ~NSViewController() override;

private:
    std::string nibName_;
    NSView* view_ = nullptr;  // retained
    bool loaded_ = false;
};

// A new view tree (owned by the caller) for the controller loading it; nil
// when it cannot be made.
typedef NSView* (*NSNibViewBuilder)(NSViewController* owner);

// Registers `builder` as the nib named `nibName`, replacing an earlier one;
// nil takes the name's builder away.
void NSNibRegisterViewBuilder(std::string_view nibName, NSNibViewBuilder builder);
