// What the scripted dialog driver of the tests shares with Navigation
// Services: a dialog as it would be shown, and a responder that answers it
// in place of the user.
#pragma once

#include <HIToolbox/Navigation.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class NavDialogKind { GetFile, ChooseFolder, PutFile, AskSaveChanges, AskReviewDocuments };

// A dialog as the user meets it.
struct NavDialogDescription {
    NavDialogKind kind;
    std::string title;    // the window title shown
    std::string message;  // the message (file dialogs) or question (the others)
    std::string saveFileName;
    std::string clientName;
    std::string folder;  // the folder a file dialog opens in (a path; empty for the questions)
    WindowModality modality;
    WindowRef parentWindow;
    UInt32 preferenceKey;
    NavDialogOptionFlags optionFlags;
    UInt32 documentCount;
    std::vector<std::string> typeIdentifiers;
};

// What the user did: the action, the chosen items (absolute paths; for a
// put-file dialog the folder, empty meaning the folder the dialog shows) and
// the typed name. The items go through the dialog's filter as a user's
// clicks would: an item the dialog would not show or take is left out, and
// an open or choose left with no item is a cancel.
struct NavDialogChoice {
    NavUserAction action = kNavUserActionCancel;
    std::vector<std::string> items;
    std::string name;
};

// While set, every dialog run is described to the responder instead of
// being shown, and answered with its choice (a sheet on the next pass of
// the main loop, a modal dialog inside NavDialogRun).
typedef std::function<NavDialogChoice(const NavDialogDescription&)> NavDialogResponder;
void NavSetDialogResponder(NavDialogResponder responder);
