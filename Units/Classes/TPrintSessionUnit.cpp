#include "TPrintSessionUnit.h"

#include <Units/Utilities/CGUtilities.h>

#include <Support/Diagnostics.h>

#include <string>
#include <utility>

BRINDLET_DEFINE_CLASS(TPrintSession, TObject)

TPrintSession* TPrintSession::Create(CGImageRef image)
{
    TPrintSession* session = Allocate();
    session->SetImage(image);
    session->RequestInitialization();
    return session;
}

void TPrintSession::Initialize()
{
    Inherited::Initialize();
    if (session_ != nullptr)
        return;
    Err = PMCreateSession(&session_);
    if (Err != noErr)
        return;
    Err = PMCreatePageFormat(&pageFormat_);
    if (Err == noErr)
        Err = PMSessionDefaultPageFormat(session_, pageFormat_);
    Err = PMCreatePrintSettings(&printSettings_);
    if (Err == noErr)
        Err = PMSessionDefaultPrintSettings(session_, printSettings_);
}

void TPrintSession::InitializeParameter(SInt32 index, const ParameterType& param)
{
    Inherited::InitializeParameter(index, param);
    if (index != 1 || param.kind != ParameterType::Kind::Pointer || param.value == nullptr)
        return;
    // Only an image is taken: anything else handed in by name is left
    // alone rather than retained as one.
    if (CFGetTypeID(param.value) == CGImageGetTypeID())
        SetImage(static_cast<CGImageRef>(param.value));
}

void TPrintSession::Deallocate()
{
    CGImageRelease(image_);
    image_ = nullptr;
    PMRelease(pageFormat_);
    pageFormat_ = nullptr;
    PMRelease(printSettings_);
    printSettings_ = nullptr;
    PMRelease(session_);
    session_ = nullptr;
    Inherited::Deallocate();
}

void TPrintSession::SetImage(CGImageRef image)
{
    CGImageRetain(image);
    CGImageRelease(std::exchange(image_, image));
}

void TPrintSession::SetJobName(CFStringRef name)
{
    Err = PMPrintSettingsSetJobName(printSettings_, name);
}

void TPrintSession::SetShowDialog(Boolean showDialog)
{
    showDialog_ = showDialog;
}

void TPrintSession::SetImageMode(SInt16 imageMode)
{
    imageMode_ = imageMode;
}

void TPrintSession::SetOrientation(UInt16 orientation)
{
    Err = PMSetOrientation(pageFormat_, orientation, kPMUnlocked);
}

void TPrintSession::SetPageMargin(SInt16 pageMargin)
{
    pageMargin_ = pageMargin;
}

void TPrintSession::Print()
{
    Boolean accepted = false;
    Err = PMSessionPrintDialog(session_, printSettings_, pageFormat_, &accepted);
    if (Err != noErr)
        return PrintFailed(Err, false);
    if (!accepted)
        return;
    Err = PMSessionBeginCGDocumentNoDialog(session_, printSettings_, pageFormat_);
    if (Err != noErr)
        return PrintFailed(Err, false);
    Err = PMSessionBeginPageNoDialog(session_, pageFormat_, nullptr);
    if (Err != noErr)
        return PrintFailed(Err, true);
    CGContextRef context = nullptr;
    Err = PMSessionGetCGGraphicsContext(session_, &context);
    if (Err != noErr)
        return PrintFailed(Err, true);
    try {
        DrawPage(context, GetPageBounds());
    } catch (...) {
        // As at any drawing boundary: reported, and the page goes out with
        // what was drawn.
        Diagnostics::ReportException(std::string(ClassName()) + ".DrawPage");
    }
    Err = PMSessionEndPageNoDialog(session_);
    if (Err != noErr)
        return PrintFailed(Err, true);
    Err = PMSessionEndDocumentNoDialog(session_);
    if (Err != noErr)
        PrintFailed(Err, false);
}

void TPrintSession::PrintFailed(OSStatus status, bool documentOpen)
{
    Diagnostics::WriteLine("Warning: Printing failed with error " + std::to_string(status) + ".");
    // The session would refuse every later job while this one stays open.
    if (documentOpen)
        PMSessionEndDocumentNoDialog(session_);
    Err = status;
}

void TPrintSession::Setup()
{
    Boolean accepted = false;
    Err = PMSessionPageSetupDialog(session_, pageFormat_, &accepted);
}

void TPrintSession::DrawPage(CGContextRef context, CGRect page)
{
    if (context == nullptr || image_ == nullptr || imageMode_ < 0 || imageMode_ > 4)
        return;
    const CGRect imageRect = CGRectMake(0, 0, CGImageGetSize(image_).width, CGImageGetSize(image_).height);
    const CGRect area = CGRectTruncate(CGRectInset(page, pageMargin_, pageMargin_));
    // A margin wider than the page leaves nowhere to place the image.
    const bool haveArea = !CGRectIsNull(area);
    CGRect drawn;
    switch (imageMode_) {
    case 0:
    case 2:
        drawn = CGRectTruncate(imageRect);
        break;
    case 1:
        if (!haveArea)
            return;
        drawn = CGRectTruncate(CGRectCenter(CGRectScale(imageRect, area), area));
        break;
    case 3:
        if (!haveArea)
            return;
        drawn = area;
        break;
    default:
        if (!haveArea)
            return;
        drawn = CGRectTruncate(CGRectCenter(imageRect, area));
        break;
    }
    if (CGRectIsEmpty(drawn))
        return;
    CGContextDrawImage(context, drawn, image_);
}

CGRect TPrintSession::GetPageBounds()
{
    PMPaper paper = nullptr;
    double width = 0, height = 0;
    if (PMGetPageFormatPaper(pageFormat_, &paper) == noErr) {
        PMPaperGetWidth(paper, &width);
        PMPaperGetHeight(paper, &height);
    }
    PMOrientation orientation = kPMPortrait;
    PMGetOrientation(pageFormat_, &orientation);
    if (orientation == kPMLandscape || orientation == kPMReverseLandscape)
        std::swap(width, height);
    return CGRectMake(0, 0, CGFloat(width), CGFloat(height));
}

void InitializeTPrintSessionUnit()
{
    RegisterClass(TPrintSession::StaticClass());
}
