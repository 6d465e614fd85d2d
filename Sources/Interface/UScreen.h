// The screen: the one sprite canvas over the desktop inside the desktop
// window. It holds the cards of the open sheet on its main layer and is the
// only writer of sheet files.
//
// A sheet file ("<name>.brproj", in the sheet folder of the preference
// "project-folder" or any folder below it) is one keyed archive, an XML
// property list: the cards as the archive's indexed children in layer order,
// and the thumbnail as PNG data under "image". Nothing else lies at the top;
// the helper reads the same layout.
//
// What the user does is never lost and never silently overwrites what
// another program wrote:
// - every change starts (or restarts) a two-second save timer; edits still
//   open are committed before a sheet is written or its cards are cleared,
//   and a pending save is written when the program ends;
// - a save writes the file atomically (the old file stays whole until the
//   new one is complete) and a failed save keeps the changes pending;
// - a sheet another program changed since it was loaded is not written
//   over without the user's choice: reload theirs, keep ours as a visible
//   copy beside it, or overwrite;
// - a file that cannot be read never becomes the open sheet.
#pragma once

#include <Sources/Cards/Globals.h>

#include <SpriteEngine/SCCanvas.h>
#include <SpriteEngine/SCLayer.h>
#include <Units/Classes/TTaskUnit.h>

#include <string>

class TDictionary;
class TWindow;
class TTimer;
class TArchiver;

namespace brindlet {

class TDesktopBackdrop;

// The sheet strip as the screen uses it; the strip's own unit derives its
// sprite from this and installs its maker (TScreen::SetStripMaker).
class TSheetStripProtocol : public TSprite {
    SPRITE_ABSTRACT_CLASS(TSheetStripProtocol, TSprite)

public:
    virtual void SetActive(const FSRef& file) = 0;
    // The thumbnail of the sheet file (the strip keeps its own copy).
    virtual void ImageChanged(const FSRef& file, CGImageRef image) = 0;
    // After each save: the strip notes the new file date and tells the helper.
    virtual void Saved() = 0;
    virtual void Update() = 0;
    virtual void UpdateSheetMenu() = 0;
    virtual void UpdateFace() = 0;
    virtual void CloseActiveSheet() = 0;
    virtual void SetFolder(const FSRef& folder) = 0;
    virtual bool IsShown() = 0;
    virtual void SetShown(bool shown) = 0;
    // The size a thumbnail cell shows the screen at.
    virtual CGSize GetThumbnailSize() = 0;

protected:
    TSheetStripProtocol() = default;
};

// The strip ratio r of the preference "TPreferences.sheetRatio" s: larger
// settings give larger thumbnails (r = 22 − s for 6 ≤ s ≤ 16, else s).
SInt32 SheetStripRatio();

// The identity of a file's current contents as the file system tells it
// (modification time to the nanosecond, size, inode); empty when the file
// cannot be read. Two equal stamps mean nobody wrote the file in between.
std::string CopyFileStamp(const FSRef& file);

// Whether `file` lies in `folder` or a folder below it, decided on the
// canonical paths of both (symbolic links and ".." resolved).
bool IsFileInsideFolder(const FSRef& file, const FSRef& folder);

// Whether the path lies on removable media (under /media or /run/media, or
// on a mount whose block device says it is removable): such a sheet
// folder comes and goes with its volume.
bool IsRemovableMediaPath(const std::string& path);

// How the user settles a save refused because another program changed the
// sheet file since it was loaded.
enum class SheetConflictChoice {
    KeepMine,  // our version is written as a visible copy beside it
    ReloadTheirs,
    Overwrite,
};

class TScreen : public TScreenProtocol {
    BRINDLET_CLASS(TScreen, TScreenProtocol)

public:
    // A screen of `size` (the canvas view's), drawing `backdrop` (not
    // retained, may be nil) under its cards while the desktop is covered.
    // Paused and without a sheet; the caller owns it.
    static TScreen* Create(CGSize size, TDesktopBackdrop* backdrop);

    void Initialize() override;
    // Before the owner lets the screen go: open edits committed, the
    // pending save written, the cards let go.
    void Finish();
    void Deallocate() override;
    void Draw() override;
    void HandleRemoveSprite(TSpriteProtocol* sprite) override;
    void HandleMouseDown(CGPoint point, TSpriteLayerProtocol* layer, TSpriteProtocol* sprite, UInt32 clickCount,
                         UInt16 button, OSStatus& result) override;
    void HandleDraw(CGRect rect, CGContextRef context) override;

    // ---- the protocol ----
    void SetSheetFile(const FSRef& file) override;
    Boolean IsPrinting() override { return printing_; }
    void CloseSheet() override;
    TSpriteLayer* GetMainLayer() override { return mainLayer_; }
    Boolean DoesCalendarCardExists(CalCalendar* calendar) override;
    void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& status) override;

    // ---- the sheet folder and file ----
    // All-zero references when there is none.
    FSRef GetSheetFolder();
    FSRef GetSheetFile();
    bool IsSheetOpen();
    bool IsSheetFolderAvailable();
    // The sheet folder lies on removable media (it may come and go).
    bool IsSheetFolderMountable();
    void VerifySheetFolder();
    // Loads the sheet file: true when its cards are now the screen's. A
    // file outside the sheet folder is refused silently; a file whose
    // archive cannot be read is refused with an alert naming it. Refused
    // files leave the open sheet as it was.
    bool LoadSheet(const FSRef& file);
    // Writes the open sheet when it has changes (see the file's comment).
    void SaveSheet();
    void NewSheet();
    void HandleNewSheet(TDictionary* params);
    void OpenSheet(const FSRef& file);
    // Loads the first sheet of the sheet folder by name; false when there
    // is none that can be read.
    bool OpenFirstSheet();
    void ToggleSheets();
    bool IsModified() const { return modified_; }
    // The thumbnail and its strip.
    void UpdateImage(void* data = nullptr);
    TSheetStripProtocol* GetStrip() const { return strip_; }
    typedef TSheetStripProtocol* (*StripMaker)(const FSRef& folder, TSpriteLayer* layer);
    static void SetStripMaker(StripMaker maker);

    // ---- cards ----
    TCardProtocol* GetFocusedCard();
    TTaskProtocol* GetFocusedTask();
    bool IsFocusedCardMemberOfClass(const ClassInfo& cardClass);
    bool IsFocusedTaskMemberOfClass(const ClassInfo& taskClass);
    // A new untitled card of the class (a card class of the registry) with
    // its title being edited; nil when the class is no card class.
    TCardProtocol* AddCard(const ClassInfo& cardClass);
    void CloseCard();
    // Removes every card (open edits committed, panes closed first).
    void ClearCards(void* data = nullptr);
    void CycleCards();
    // Ends the text editing session, so its text reaches its card or row.
    void StopEditing();

    // ---- the window and printing ----
    void SetMainWindow(TWindow* window) { mainWindow_ = window; }
    void SetScreenActive(bool active);
    bool IsScreenActive() const { return active_; }
    void SetPrinting(bool printing) { printing_ = printing; }
    // The sheet file's name without its extension; nil without a sheet.
    CFStringRef CopySheetName();
    CGImageRef CopyPrintImage();
    void Print();
    void Reposition(CGRect rect);

    // ---- notifications ----
    void HandleSheetModified(TDictionary* params);
    void HandleSaveTimer(TObject* timer);
    void HandlePreferencesChanged(TDictionary* params);
    void HandleSheetFolderChanged(TDictionary* params);
    void HandleVolumeChanged(TDictionary* params);
    // The helper's request to show a task: "sheet" (the full path of a
    // sheet file in the sheet folder) and "task" (the row's identifier).
    void HandleSelectedTask(TDictionary* params);

    // How a refused save is settled; tests and scripts may choose without
    // asking. The default asks the user with an alert.
    typedef SheetConflictChoice (*ConflictChooser)(CFStringRef sheetPath);
    static void SetConflictChooser(ConflictChooser chooser);

protected:
    TScreen() = default;

private:
    // Reads the file as a sheet archive: a loaded archiver the caller
    // releases, or nil after telling the user why it cannot be opened.
    TArchiver* ReadSheet(const FSRef& file);
    // Makes the read archive the open sheet.
    void InstallSheet(const FSRef& file, TArchiver* archiver);
    // Archives the main layer (and the thumbnail) into `file`: the status.
    SInt32 WriteSheet(const FSRef& file);
    // The save refused because the file changed outside: the user's choice.
    void SettleConflict();
    void EndSaveTimer();
    void CloseEditingPanes();
    // Brings the program to the front.
    void BringToFront();

    TSpriteLayer* mainLayer_ = nullptr;
    TSheetStripProtocol* strip_ = nullptr;
    TWindow* mainWindow_ = nullptr;
    TDesktopBackdrop* backdrop_ = nullptr;
    bool mountNotice_ = false;
    CFStringRef sheetPath_ = nullptr;
    std::string sheetDate_;
    bool active_ = false;
    bool thumbnailNeeded_ = false;
    bool printing_ = false;
    bool modified_ = false;
    bool settlingConflict_ = false;
    // A failed save was told to the user; cleared by the next good one.
    bool saveFailureShown_ = false;
    TTimer* saveTimer_ = nullptr;
};

// The thumbnail written into the sheet archive: the image as PNG under
// "image", then the archive saved to its file. Run in place (the archive is
// complete when Create returns) or started in the background.
class TImageTask : public ::TTask {
    BRINDLET_CLASS(TImageTask, ::TTask)

public:
    // Retains the image and takes over the archiver; `status` (may be nil)
    // gets the save's status when run in place.
    static TImageTask* Create(CGImageRef image, TArchiver* archiver, bool inBackground, SInt32* status = nullptr);
    void Run() override;

protected:
    TImageTask() = default;

private:
    CGImageRef image_ = nullptr;
    TArchiver* archiver_ = nullptr;
    SInt32* status_ = nullptr;
};

// PNG bytes of the image; nil when it cannot be encoded. The caller
// releases them.
CFDataRef CopyPNGData(CGImageRef image);

}  // namespace brindlet
