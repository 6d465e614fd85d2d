// The Printing Manager: sessions, page formats, print settings and the
// drawing of a document page by page, printed through QPrinter.
//
// Paper. A new page format has the default paper: the default printer's
// default paper when there is a printer, otherwise the paper of the user's
// locale (LC_PAPER: Letter in the United States and Canada, A4 in most
// other places), A4 when neither says. Sizes are in points. The whole
// paper is the page: the context covers it and printers clip what they
// cannot reach, so the adjusted page and paper rectangles are the same.
//
// Drawing. Between PMSessionBeginPageNoDialog and PMSessionEndPageNoDialog
// the session's context (PMSessionGetCGGraphicsContext) is a Quartz
// context in points, y growing upwards from the bottom-left corner of the
// paper as it lies in the page format's orientation (landscape paper is
// wider than high). The page is drawn into a bitmap of four pixels per
// point (288 dots per inch; fewer on papers larger than A2, to bound the
// memory a page takes) and goes to the printer when the page ends; what
// was left transparent prints as nothing. Reverse orientations print
// the page turned by half a turn.
//
// Destinations. A file destination (PMSessionSetDestination, or the print
// dialog's print-to-file choice) receives a PDF, written next to its final
// name and renamed into place when the document ends, so a failed or
// abandoned job never leaves half a file where a good one was. Otherwise
// the job goes to the printer the print dialog chose, else to the default
// printer (kPMNoDefaultPrinter when there is none).
//
// Printing needs a QGuiApplication; without one, beginning a document
// answers kPMGeneralError. Sessions belong to the thread that made them.
//
// Every session call that fails leaves its status for PMSessionError;
// PMSessionBeginCGDocumentNoDialog clears it first.
#pragma once

#include <CoreGraphics/CGContext.h>
#include <PrintCore/PMDefinitions.h>

// ---- objects ----

CFTypeID PMPrintSessionGetTypeID();
CFTypeID PMPageFormatGetTypeID();
CFTypeID PMPrintSettingsGetTypeID();
CFTypeID PMPaperGetTypeID();

// kPMInvalidParameter for anything that is not a Printing Manager object
// (nothing is retained or released then); noErr for nil.
OSStatus PMRetain(PMObject object);
OSStatus PMRelease(PMObject object);

// ---- sessions ----

// A new session (caller releases).
OSStatus PMCreateSession(PMPrintSession* printSession);
OSStatus PMSessionError(PMPrintSession printSession);
OSStatus PMSessionSetError(PMPrintSession printSession, OSStatus printError);

// ---- page formats ----

// A new page format (caller releases): the default paper, portrait.
OSStatus PMCreatePageFormat(PMPageFormat* pageFormat);
// Fills the format with the session's defaults: the default paper,
// portrait, nothing locked.
OSStatus PMSessionDefaultPageFormat(PMPrintSession printSession, PMPageFormat pageFormat);
// A new format with the same paper, orientation and locks.
OSStatus PMCopyPageFormat(PMPageFormat formatSrc, PMPageFormat formatDest);

// Sets the orientation and whether it is locked: a locked orientation is
// kept by the dialogs whatever the user chooses. kPMInvalidParameter (the
// format unchanged) for an orientation other than the four kinds.
OSStatus PMSetOrientation(PMPageFormat pageFormat, PMOrientation orientation, Boolean lock);
OSStatus PMGetOrientation(PMPageFormat pageFormat, PMOrientation* orientation);

// The format's paper, borrowed: it lives as long as the format keeps it.
OSStatus PMGetPageFormatPaper(PMPageFormat format, PMPaper* paper);
// The paper's own size in points, as it is named (a portrait A4 is
// 595.28 × 841.89 whatever the format's orientation).
OSStatus PMPaperGetWidth(PMPaper paper, double* paperWidth);
OSStatus PMPaperGetHeight(PMPaper paper, double* paperHeight);
// The paper's name for people ("Letter", "A4", ...), borrowed.
OSStatus PMPaperGetName(PMPaper paper, CFStringRef* paperName);

// Adjusted rectangles lie in the format's orientation (a landscape
// Letter's is 792 wide), unadjusted ones as the paper is named; the page
// is the whole paper, at (0, 0).
OSStatus PMGetAdjustedPaperRect(PMPageFormat pageFormat, PMRect* paperRect);
OSStatus PMGetAdjustedPageRect(PMPageFormat pageFormat, PMRect* pageRect);
OSStatus PMGetUnadjustedPaperRect(PMPageFormat pageFormat, PMRect* paperRect);
OSStatus PMGetUnadjustedPageRect(PMPageFormat pageFormat, PMRect* pageRect);

// ---- print settings ----

// New settings (caller releases): one copy, no job name, the default
// printer.
OSStatus PMCreatePrintSettings(PMPrintSettings* printSettings);
// Fills the settings with the session's defaults (as above).
OSStatus PMSessionDefaultPrintSettings(PMPrintSession printSession, PMPrintSettings printSettings);
OSStatus PMCopyPrintSettings(PMPrintSettings source, PMPrintSettings dest);

// The name the job has in the printer's queue; a copy is kept. Nil
// clears it.
OSStatus PMPrintSettingsSetJobName(PMPrintSettings printSettings, CFStringRef name);
// Borrowed; nil when there is none.
OSStatus PMPrintSettingsGetJobName(PMPrintSettings printSettings, CFStringRef* name);

// kPMInvalidParameter for 0 copies.
OSStatus PMSetCopies(PMPrintSettings printSettings, UInt32 copies, Boolean lock);
OSStatus PMGetCopies(PMPrintSettings printSettings, UInt32* copies);

// Where the job goes: kPMDestinationPrinter (location nil) or
// kPMDestinationFile with a file URL and the format kPMDocumentFormatPDF
// (nil means it too). kPMInvalidParameter for any other kind, format or
// location; the settings are unchanged then.
OSStatus PMSessionSetDestination(PMPrintSession printSession, PMPrintSettings printSettings, PMDestinationType destType,
                                 CFStringRef destFormat, CFURLRef destLocation);
OSStatus PMSessionGetDestinationType(PMPrintSession printSession, PMPrintSettings printSettings,
                                     PMDestinationType* destTypeP);
// A file destination's URL, retained for the caller; kPMNoSuchEntry for a
// printer destination.
OSStatus PMSessionCopyDestinationLocation(PMPrintSession printSession, PMPrintSettings printSettings,
                                          CFURLRef* destLocationP);

// ---- drawing a document ----

// Starts a job with the settings and format. kPMOutOfScope while a
// document is open; kPMInvalidParameter for a file destination whose
// folder is missing or whose name is a folder; kPMNoDefaultPrinter when
// the job should go to a printer and there is none.
OSStatus PMSessionBeginCGDocumentNoDialog(PMPrintSession printSession, PMPrintSettings printSettings,
                                          PMPageFormat pageFormat);
// Starts a page with the format's paper and orientation (the document's
// format when nil). A page frame, in the page's PMRect coordinates, clips
// the drawing to it; kPMInvalidParameter when it has no area.
// kPMOutOfScope outside a document or while a page is open.
OSStatus PMSessionBeginPageNoDialog(PMPrintSession printSession, PMPageFormat pageFormat, const PMRect* pageFrame);
// The open page's context, borrowed until the page ends; nil and
// kPMOutOfScope when no page is open.
OSStatus PMSessionGetCGGraphicsContext(PMPrintSession printSession, CGContextRef* context);
OSStatus PMSessionEndPageNoDialog(PMPrintSession printSession);
// Ends the job (a page still open is ended first) and hands it to the
// printer or puts the file in place.
OSStatus PMSessionEndDocumentNoDialog(PMPrintSession printSession);
