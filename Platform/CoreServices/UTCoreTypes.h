// The identifiers of the kinds the units name.
#pragma once

#include <CoreServices/UTType.h>

extern const CFStringRef kUTTypeItem;                // public.item
extern const CFStringRef kUTTypeContent;             // public.content
extern const CFStringRef kUTTypeCompositeContent;    // public.composite-content
extern const CFStringRef kUTTypeData;                // public.data
extern const CFStringRef kUTTypeDirectory;           // public.directory
extern const CFStringRef kUTTypeFolder;              // public.folder
extern const CFStringRef kUTTypeSymLink;             // public.symlink
extern const CFStringRef kUTTypePackage;             // com.apple.package
extern const CFStringRef kUTTypeBundle;              // com.apple.bundle
extern const CFStringRef kUTTypeExecutable;          // public.executable
extern const CFStringRef kUTTypeApplication;         // com.apple.application
extern const CFStringRef kUTTypeApplicationBundle;   // com.apple.application-bundle
extern const CFStringRef kUTTypeText;                // public.text
extern const CFStringRef kUTTypePlainText;           // public.plain-text
extern const CFStringRef kUTTypeUTF8PlainText;       // public.utf8-plain-text
extern const CFStringRef kUTTypeUTF16PlainText;      // public.utf16-plain-text
extern const CFStringRef kUTTypeRTF;                 // public.rtf
extern const CFStringRef kUTTypeRTFD;                // com.apple.rtfd
extern const CFStringRef kUTTypeFlatRTFD;            // com.apple.flat-rtfd
extern const CFStringRef kUTTypeHTML;                // public.html
extern const CFStringRef kUTTypeXML;                 // public.xml
extern const CFStringRef kUTTypeImage;               // public.image
extern const CFStringRef kUTTypePNG;                 // public.png
extern const CFStringRef kUTTypeJPEG;                // public.jpeg
extern const CFStringRef kUTTypeTIFF;                // public.tiff
extern const CFStringRef kUTTypeGIF;                 // com.compuserve.gif
extern const CFStringRef kUTTypeBMP;                 // com.microsoft.bmp
extern const CFStringRef kUTTypeAppleICNS;           // com.apple.icns
extern const CFStringRef kUTTypePDF;                 // com.adobe.pdf
extern const CFStringRef kUTTypeAudiovisualContent;  // public.audiovisual-content
extern const CFStringRef kUTTypeAudio;               // public.audio
extern const CFStringRef kUTTypeMovie;               // public.movie
extern const CFStringRef kUTTypeMP3;                 // public.mp3
extern const CFStringRef kUTTypeURL;                 // public.url
extern const CFStringRef kUTTypeFileURL;             // public.file-url
extern const CFStringRef kUTTypePropertyList;        // com.apple.property-list
extern const CFStringRef kUTTypeArchive;             // public.archive
extern const CFStringRef kUTTypeZipArchive;          // public.zip-archive
extern const CFStringRef kUTTypeGNUZipArchive;       // org.gnu.gnu-zip-archive
extern const CFStringRef kUTTypeVCard;               // public.vcard
