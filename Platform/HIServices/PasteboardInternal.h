// What the pasteboard functions share with the clipboard's Qt side: the
// items one Clear started, the table of identifiers and MIME types, and
// the bridge to QClipboard.
#pragma once

#include "Pasteboard.h"

#include <CoreFoundation/CFRef.h>

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace PasteboardDetail {

// Where the data of a flavour read from another program comes from.
struct ForeignSource {
    enum class Kind { None, Format, Image, URL };
    Kind kind = Kind::None;
    // Format: the MIME type to fetch. Image: the image format to convert
    // to ("png", "tiff"). URL: unused.
    QString format;
    // URL: the position of the URL in the uri-list.
    size_t urlIndex = 0;
};

struct Flavor {
    CFRef<CFStringRef> type;
    // Ours: the data as put. Nil for a foreign flavour, fetched when asked.
    CFRef<CFDataRef> data;
    PasteboardFlavorFlags flags = kPasteboardFlavorNoFlags;
    ForeignSource source;
};

struct Item {
    PasteboardItemID id = nullptr;
    std::vector<Flavor> flavors;
};

// The items of a pasteboard from one Clear to the next (or what another
// program offers), and which reference may add to them.
struct Contents {
    // The serial of the reference that cleared; 0 for foreign contents.
    uint64_t owner = 0;
    std::vector<Item> items;
    // Foreign contents: the URLs of the uri-list, in order.
    std::vector<std::string> urls;
};

// ---- identifiers and MIME types ----

// The MIME types a flavour is offered under to other programs, the first
// preferred: its own types when they lead back to the identifier, else the
// private type that carries the identifier itself. Empty for an identifier
// that cannot be named in a MIME type.
std::vector<QString> ExportFormatsFor(const QString& identifier);
// The identifier a MIME type offered by another program stands for; empty
// for formats that carry no flavour of their own.
QString IdentifierForFormat(const QString& mimeType);
// Whether the identifier names an image kind Qt can decode.
bool IsImageIdentifier(const QString& identifier);

QString StringToQt(CFStringRef s);
// A new string; nil for an empty text.
CFStringRef StringFromQt(const QString& text);
bool SameIdentifier(CFStringRef a, CFStringRef b);

// ---- the clipboard through QClipboard ----

// Whether a QGuiApplication exists, so that the clipboard is the desktop's.
bool ClipboardIsSystem();
// Whether the calling thread may reach the system clipboard.
bool ClipboardReachable();
// A number that changes whenever the system clipboard changes.
uint64_t ClipboardGeneration();
// What the system clipboard holds now: our own contents as put, or the
// foreign contents as one item (plus URL items). Never nil.
std::shared_ptr<const Contents> ClipboardContents();
// The system clipboard's contents when the reference of that serial owns
// them; nil otherwise.
std::shared_ptr<Contents> ClipboardOwnedContents(uint64_t serial);
// Puts new, empty contents owned by `serial` on the system clipboard.
void ClipboardTakeOwnership(uint64_t serial);
// Offers the owned contents again after a put, so that what other
// programs are told matches what the items hold.
void ClipboardAnnounce(const std::shared_ptr<Contents>& contents);
// The data of a foreign flavour, fetched from the clipboard now; new, or
// nil when the clipboard cannot give it.
CFDataRef ClipboardCopyForeignData(const Contents& contents, const Flavor& flavor);

}  // namespace PasteboardDetail
