// One image printed on one page: a print session with its page format and
// print settings, the page-setup and print dialogs, and the placement of
// the image on the page in one of five image modes (see DrawPage).
//
// Printing Manager failures leave their status in Err; Print also writes
// "Warning: Printing failed with error <status>." and ends the job, so
// nothing half-printed stays open.
#pragma once

#include <Units/Classes/TObjectUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <CoreGraphics/CoreGraphics.h>
#include <PrintCore/PrintCore.h>

class TPrintSession : public TObject {
    BRINDLET_CLASS(TPrintSession, TObject)

public:
    // A session printing `image` (retained; nil prints empty pages).
    static TPrintSession* Create(CGImageRef image);

    // Creates the session, a page format and print settings, each filled
    // with the session's defaults.
    void Initialize() override;
    // Made by name: parameter 1 is the image (a pointer parameter).
    void InitializeParameter(SInt32 index, const ParameterType& param) override;
    void Deallocate() override;

    virtual void SetJobName(CFStringRef name);
    // Stored only: Print shows the print dialog either way.
    virtual void SetShowDialog(Boolean showDialog);
    virtual void SetImageMode(SInt16 imageMode);
    // A platform orientation (kPMPortrait ... kPMReverseLandscape), not locked.
    virtual void SetOrientation(UInt16 orientation);
    // The inset in points on every side of the page.
    virtual void SetPageMargin(SInt16 pageMargin);
    // Runs the print dialog; when the user accepts, prints one page drawn
    // by DrawPage into GetPageBounds.
    virtual void Print();
    // Runs the page-setup dialog on the page format.
    virtual void Setup();
    // Draws the image into `page` by the image mode, in whole points:
    //   0 and 2: its own pixel size at (0, 0), the margin left aside;
    //   1: fitted into the page less the margin, keeping its proportions,
    //      centred there;
    //   3: stretched over the page less the margin;
    //   4: its own pixel size, centred in the page less the margin.
    // Nothing for another mode, no image, no context, or (modes 1, 3 and
    // 4) a margin that leaves no area.
    virtual void DrawPage(CGContextRef context, CGRect page);
    // (0, 0, paper width, paper height), in points, width and height
    // exchanged for the landscape orientations.
    virtual CGRect GetPageBounds();

    CGImageRef GetImage() const { return image_; }
    Boolean GetShowDialog() const { return showDialog_; }
    SInt16 GetImageMode() const { return imageMode_; }
    SInt16 GetPageMargin() const { return pageMargin_; }
    PMPrintSession GetSession() const { return session_; }
    PMPrintSettings GetPrintSettings() const { return printSettings_; }
    PMPageFormat GetPageFormat() const { return pageFormat_; }

protected:
    TPrintSession() = default;

private:
    void SetImage(CGImageRef image);
    // Ends the job after a failed step and writes the warning.
    void PrintFailed(OSStatus status, bool documentOpen);

    CGImageRef image_ = nullptr;
    Boolean showDialog_ = false;
    SInt16 imageMode_ = 0;
    SInt16 pageMargin_ = 0;
    PMPrintSession session_ = nullptr;
    PMPrintSettings printSettings_ = nullptr;
    PMPageFormat pageFormat_ = nullptr;
};

void InitializeTPrintSessionUnit();
