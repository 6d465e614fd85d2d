#pragma once

// What the tests of the file dialogs and the review share: a document that
// writes its text to its file (as every document must, atomically), an
// owner that records the actions a dialog calls, and a window of the
// fixture nib showing documents.

#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/TNavDialogsUnit.h>
#include <ApplicationFramework/Classes/TWindowUnit.h>
#include <Units/Utilities/FSUtilities.h>

#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/NavigationTesting.h>
#include <Support/FileAccess.h>

#include <climits>
#include <string>
#include <vector>

inline std::string PathOfRef(const FSRef& ref)
{
    char path[PATH_MAX] = {};
    FSRefMakePath(&ref, reinterpret_cast<UInt8*>(path), sizeof path);
    return path;
}

inline FSRef RefOfPath(const std::string& path)
{
    FSRef ref{};
    FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr);
    return ref;
}

class TestDocument : public TDocument {
    BRINDLET_CLASS(TestDocument, TDocument)

public:
    // A dirty document named `name` holding `text`; its file when given.
    static TestDocument* Make(const char* name, std::string text, const std::string& file = std::string())
    {
        TestDocument* document = CreateInstance<TestDocument>();
        document->SetDisplayName(name);
        document->text = std::move(text);
        document->SetDirty(true);
        if (!file.empty())
            document->SetFile(RefOfPath(file));
        return document;
    }

    std::string text;
    OSStatus failWith = noErr;
    std::vector<std::string> writtenTo;  // the path of every save, in order
    std::vector<UInt32> reasons;         // why each save was asked for
    int savedAs = 0;

    OSStatus Save() override
    {
        reasons.push_back(GetSaveReason());
        writtenTo.push_back(PathOfRef(GetFile()));
        if (failWith != noErr)
            return failWith;
        return FileAccess::WriteAtomically(writtenTo.back(), text.data(), text.size()) == 0 ? noErr : ioErr;
    }
    OSType GetFileType() override { return FourCC("TEXT"); }
    void HandleSavedAs() override { ++savedAs; }

protected:
    TestDocument() = default;
};

// The owner of a dialog: the details of every action it was called with.
class ActionLog : public TResponder {
    BRINDLET_CLASS(ActionLog, TResponder)

public:
    static ActionLog* Create() { return CreateInstance<ActionLog>(); }
    std::vector<std::string> files;
    std::vector<std::string> names;

    void Took(TTypeDictionary* details)
    {
        FSRef file{};
        files.push_back(details->GetDataValue("file", &file, sizeof file) ? PathOfRef(file) : std::string("?"));
        names.push_back(details->GetStringValue("name").ToString());
    }
    // A dialog aimed at this log.
    TNavDialogs* Dialog()
    {
        TNavDialogs* dialog = TNavDialogs::Create();
        dialog->SetTarget(this);
        dialog->SetAction(BRINDLET_METHOD(ActionLog, Took));
        return dialog;
    }

protected:
    ActionLog() = default;
};

// A shown window of the fixture nib holding the documents (not owned).
inline TWindow* WindowWith(std::vector<TDocument*> documents)
{
    TWindow* window = TWindow::Create("Document", ApplicationNib);
    ShowWindow(window->GetWindowRef());
    for (TDocument* document : documents)
        window->GetDocumentList()->Append(document);
    return window;
}

// The user closing the window (its close box).
inline void SendClose(WindowRef window)
{
    EventRef close = nullptr;
    CreateEvent(nullptr, kEventClassWindow, kEventWindowClose, GetCurrentEventTime(), 0, &close);
    SendEventToEventTarget(close, GetWindowEventTarget(window));
    ReleaseEvent(close);
}
