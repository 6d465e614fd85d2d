#include "NavigationTesting.h"

NavDialogScript::NavDialogScript()
{
    NavSetDialogResponder([this](const NavDialogDescription& dialog) {
        dialogs_.push_back(dialog);
        if (choices_.empty())
            return NavDialogChoice{};
        NavDialogChoice choice = std::move(choices_.front());
        choices_.pop_front();
        return choice;
    });
}

NavDialogScript::~NavDialogScript()
{
    NavSetDialogResponder(nullptr);
}
