// A card's title and background images chosen by the user: an Open dialog
// for image files whose choice comes back as the "file" of the dialog's
// action.
#include "UGenericCard.h"

#include <ApplicationFramework/Classes/TNavDialogsUnit.h>
#include <Units/Classes/TDictionaryUnit.h>

namespace {

// The Open dialog of a card image: the chosen file goes to the card only,
// never to the application as a document to open.
class TCardImageDialog : public TNavDialogs {
    BRINDLET_CLASS(TCardImageDialog, TNavDialogs)

public:
    static TCardImageDialog* Create() { return CreateInstance<TCardImageDialog>(); }
    void HandleSingleResult(const FSRef& item) override { HandleChooseResult(item); }

protected:
    TCardImageDialog() = default;
};

BRINDLET_DEFINE_CLASS(TCardImageDialog, TNavDialogs)

void OpenImageDialog(TCard* card, CFStringRef title, MethodCode action)
{
    TCardImageDialog* dialog = TCardImageDialog::Create();
    dialog->SetWindowTitle(title);
    TTypeArray* types = TTypeArray::Create({CFSTR("public.image")});
    dialog->SetFilterTypeIdentifiers(types);
    types->Release();
    dialog->SetTarget(card);
    dialog->SetAction(action);
    dialog->OpenDialog();
}

}  // namespace

void TCard::AddTitleImage()
{
    OpenImageDialog(this, CFSTR("Add Title Image"), BRINDLET_METHOD(TCard, HandleAddTitleImage));
}

void TCard::AddBackgroundImage()
{
    OpenImageDialog(this, CFSTR("Add Background Image"), BRINDLET_METHOD(TCard, HandleAddBackgroundImage));
}

void TCard::HandleAddTitleImage(TDictionary* parameters)
{
    TakeChosenImage(parameters, kCardImageTitle);
}

void TCard::HandleAddBackgroundImage(TDictionary* parameters)
{
    TakeChosenImage(parameters, kCardImageBackground);
}

void TCard::TakeChosenImage(TDictionary* parameters, SInt32 kind)
{
    auto* values = dynamic_cast<TTypeDictionary*>(parameters);
    FSRef file{};
    if (values == nullptr || !values->GetDataValue("file", &file, sizeof file))
        return;
    // A file that is no image leaves the card as it was.
    if (SetCardImage(file, kind))
        PostNotification("SyncSheetChanged");
}
