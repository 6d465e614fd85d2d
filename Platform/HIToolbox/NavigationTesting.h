// A scripted user for Navigation Services in tests: offscreen dialogs
// cannot be clicked, so while a script lives every dialog that runs is
// written down and answered with the next queued choice (a cancel when none
// is queued). Linked only into test programs (brindlet_hitoolbox_testing).
#pragma once

#include <HIToolbox/NavigationInternal.h>

#include <deque>
#include <vector>

class NavDialogScript {
public:
    NavDialogScript();
    ~NavDialogScript();
    NavDialogScript(const NavDialogScript&) = delete;
    NavDialogScript& operator=(const NavDialogScript&) = delete;

    // The choice of the next dialog that has none queued before it.
    void QueueChoice(NavDialogChoice choice) { choices_.push_back(std::move(choice)); }
    void QueueAction(NavUserAction action) { choices_.push_back(NavDialogChoice{action, {}, {}}); }
    // The dialogs run so far, oldest first.
    const std::vector<NavDialogDescription>& Dialogs() const { return dialogs_; }
    size_t PendingChoices() const { return choices_.size(); }

private:
    std::deque<NavDialogChoice> choices_;
    std::vector<NavDialogDescription> dialogs_;
};
