#include "NSViewController.h"

#include <map>

namespace {

std::map<std::string, NSNibViewBuilder, std::less<>>& Builders()
{
    static auto* const builders = new std::map<std::string, NSNibViewBuilder, std::less<>>;
    return *builders;
}

}  // namespace

void NSNibRegisterViewBuilder(std::string_view nibName, NSNibViewBuilder builder)
{
    if (builder)
        Builders()[std::string(nibName)] = builder;
    else if (auto found = Builders().find(nibName); found != Builders().end())
        Builders().erase(found);
}

NSViewController* NSViewController::newWithNibName(const NSString* nibName, CFBundleRef)
{
    return new NSViewController(nibName ? nibName->UTF8String() : std::string());
}

NSViewController::~NSViewController()
{
    if (view_)
        view_->release();
}

NSView* NSViewController::view()
{
    if (!loaded_) {
        loaded_ = true;
        loadView();
    }
    return view_;
}

void NSViewController::setView(NSView* view)
{
    loaded_ = true;
    if (view == view_)
        return;
    if (view)
        view->retain();
    NSView* old = view_;
    view_ = view;
    if (old)
        old->release();
}

void NSViewController::loadView()
{
    const auto found = Builders().find(nibName_);
    if (found == Builders().end())
        return;
    NSView* made = found->second(this);
    setView(made);
    if (made)
        made->release();  // the builder's reference: the controller holds its own
}
