// Apple events as the application uses them: descriptors with typed data,
// lists and records of them, Apple events with parameters and attributes,
// handlers installed by event class and ID, and delivery to this process
// (at once, or through the main event queue once the loop runs).
//
// A descriptor owns its data: every call that makes one (AECreateDesc,
// AECreateList, AECreateAppleEvent, the Get…Desc calls, AEDuplicateDesc,
// AECoerceDesc) gives the caller a descriptor to dispose of with
// AEDisposeDesc, and putting a descriptor into a list or event copies it.
// A descriptor whose data is not live (never made, disposed of already, or
// garbage) answers errAENotAEDesc; a null descriptor (typeNull) is live
// and empty. A call that fails leaves every output buffer as it was; a
// descriptor it was to fill becomes a null descriptor.
//
// Apple events arrive from the system (the command line at start-up, a
// second launch of the program) through the same queue as every other
// event: each is a Carbon event of class kEventClassAppleEvent, kind
// kEventAppleEvent, sent to the application target, whose handler hands
// it to the Apple-event handler installed for its class and ID.
#pragma once

#include <CarbonCore/CarbonEvents.h>
#include <CarbonCore/MacErrors.h>
#include <CoreFoundation/MacTypes.h>

// ---- status codes ----

inline constexpr OSErr errAECoercionFail = -1700;        // the data cannot be coerced to the type asked for
inline constexpr OSErr errAEDescNotFound = -1701;        // no parameter or attribute of that keyword
inline constexpr OSErr errAECorruptData = -1702;         // the data is not what its type says
inline constexpr OSErr errAEWrongDataType = -1703;       // a descriptor of the wrong kind (not a list, …)
inline constexpr OSErr errAENotAEDesc = -1704;           // not a live descriptor
inline constexpr OSErr errAEBadListItem = -1705;         // an item that cannot go into the list
inline constexpr OSErr errAENotAppleEvent = -1707;       // a descriptor that is no Apple event
inline constexpr OSErr errAEEventNotHandled = -1708;     // no handler took the event
inline constexpr OSErr errAEUnknownSendMode = -1710;     // a send mode that is not one of the three
inline constexpr OSErr errAEUnknownAddressType = -1716;  // a target that names no process
inline constexpr OSErr errAEHandlerNotFound = -1717;     // no handler installed for that class and ID
inline constexpr OSErr errAEIllegalIndex = -1719;        // an index outside the list

// ---- types ----

typedef ResType DescType;
typedef FourCharCode AEKeyword;
typedef FourCharCode AEEventClass;
typedef FourCharCode AEEventID;
typedef SInt16 AEReturnID;
typedef SInt32 AETransactionID;
typedef SInt32 AESendMode;
typedef SInt16 AESendPriority;
typedef void* SRefCon;

typedef struct OpaqueAEDataStorageType* AEDataStorage;

struct AEDesc {
    DescType descriptorType;
    AEDataStorage dataHandle;
};
typedef AEDesc AEDescList;
typedef AEDescList AERecord;
typedef AEDesc AEAddressDesc;
typedef AERecord AppleEvent;

typedef OSErr (*AEEventHandlerProcPtr)(const AppleEvent* theAppleEvent, AppleEvent* reply, SRefCon handlerRefcon);
typedef AEEventHandlerProcPtr AEEventHandlerUPP;
inline AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc)
{
    return proc;
}
inline void DisposeAEEventHandlerUPP(AEEventHandlerUPP) {}

// Never called: sending waits for no other process (pass nil).
typedef struct OpaqueAEIdleProc* AEIdleUPP;
typedef struct OpaqueAEFilterProc* AEFilterUPP;

// Descriptor types (those of the Carbon events are shared: typeWildCard,
// typeBoolean, typeSInt16, typeSInt32, typeType, typeChar, typeFSRef,
// typeProcessSerialNumber, typeAppleEvent, …).
inline constexpr DescType typeNull = FourCC("null");
inline constexpr DescType typeAEList = FourCC("list");
inline constexpr DescType typeAERecord = FourCC("reco");
inline constexpr DescType typeFileURL = FourCC("furl");
inline constexpr DescType typeUTF8Text = FourCC("utf8");
inline constexpr DescType typeKeyword = FourCC("keyw");
inline constexpr DescType typeEnumerated = FourCC("enum");
inline constexpr DescType typeKernelProcessID = FourCC("kpid");
inline constexpr DescType typeApplicationBundleID = FourCC("bund");

// Keywords of parameters and attributes.
inline constexpr AEKeyword keyDirectObject = FourCC("----");
inline constexpr AEKeyword keyErrorNumber = FourCC("errn");
inline constexpr AEKeyword keyErrorString = FourCC("errs");
inline constexpr AEKeyword keyAddressAttr = FourCC("addr");
inline constexpr AEKeyword keyEventClassAttr = FourCC("evcl");
inline constexpr AEKeyword keyEventIDAttr = FourCC("evid");
inline constexpr AEKeyword keyReturnIDAttr = FourCC("rtid");
inline constexpr AEKeyword keyTransactionIDAttr = FourCC("tran");

// The core events.
inline constexpr AEEventClass kCoreEventClass = FourCC("aevt");
inline constexpr AEEventID kAEOpenApplication = FourCC("oapp");
inline constexpr AEEventID kAEReopenApplication = FourCC("rapp");
inline constexpr AEEventID kAEOpenDocuments = FourCC("odoc");
inline constexpr AEEventID kAEPrintDocuments = FourCC("pdoc");
inline constexpr AEEventID kAEQuitApplication = FourCC("quit");
inline constexpr AEEventID kAEAnswer = FourCC("ansr");

inline constexpr AEReturnID kAutoGenerateReturnID = -1;
inline constexpr AETransactionID kAnyTransactionID = 0;

// Send modes: one of the reply modes, with any of the other bits (which
// change nothing here: the receiver is always this process).
enum : AESendMode {
    kAENoReply = 0x00000001,
    kAEQueueReply = 0x00000002,
    kAEWaitReply = 0x00000003,
    kAENeverInteract = 0x00000010,
    kAECanInteract = 0x00000020,
    kAEAlwaysInteract = 0x00000030,
    kAECanSwitchLayer = 0x00000040,
    kAEDontRecord = 0x00001000,
    kAEDontExecute = 0x00002000,
};
enum : AESendPriority {
    kAENormalPriority = 0,
    kAEHighPriority = 1,
};
inline constexpr SInt32 kAEDefaultTimeout = -1;
inline constexpr SInt32 kNoTimeOut = -2;

// ---- descriptors ----

// Makes `desc` a null descriptor (owns nothing).
void AEInitializeDesc(AEDesc* desc);
// A descriptor of `typeCode` holding a copy of the bytes. paramErr for a
// nil result, a negative size, nil data with a size, or a list, record or
// Apple-event type (those are made by AECreateList and AECreateAppleEvent).
// typeNull makes a null descriptor.
OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result);
// Frees the data and makes it a null descriptor. A null descriptor is
// noErr; a descriptor whose data is not live is errAENotAEDesc and is left
// as it was.
OSErr AEDisposeDesc(AEDesc* theAEDesc);
OSErr AEDuplicateDesc(const AEDesc* theAEDesc, AEDesc* result);
// The size of a plain descriptor's bytes; 0 for a null, list, record or
// Apple-event descriptor and for one that is not live.
Size AEGetDescDataSize(const AEDesc* theAEDesc);
// Copies at most `maximumSize` bytes of a plain descriptor. errAEWrongDataType
// for a list, record or Apple event.
OSErr AEGetDescData(const AEDesc* theAEDesc, void* dataPtr, Size maximumSize);

// Coercions: any type to itself and to typeWildCard; a file URL
// (typeFileURL, the URL's UTF-8 text) to typeFSRef when the file exists,
// and typeFSRef to typeFileURL; any descriptor that is no list to a list
// holding it. Anything else is errAECoercionFail. Lists, records and Apple
// events have no bytes: the calls that copy bytes out answer
// errAECoercionFail for them.
OSErr AECoerceDesc(const AEDesc* theAEDesc, DescType toType, AEDesc* result);
OSErr AECoercePtr(DescType typeCode, const void* dataPtr, Size dataSize, DescType toType, AEDesc* result);

// ---- lists and records ----

// An empty list (typeAEList) or record (typeAERecord). Factoring is not
// kept: factoringPtr and factoredSize are accepted and ignored.
OSErr AECreateList(const void* factoringPtr, Size factoredSize, Boolean isRecord, AEDescList* resultList);
// Items of a list, or parameters of a record or Apple event.
// errAEWrongDataType for a plain descriptor.
OSErr AECountItems(const AEDescList* theAEDescList, long* theCount);
// Puts a copy at `index` (1-based): an existing item there is replaced; 0
// or one past the end appends. errAEIllegalIndex for any other index;
// errAEWrongDataType for a record or Apple event (their items have
// keywords: AEPutKeyPtr) or a plain descriptor.
OSErr AEPutPtr(AEDescList* theAEDescList, long index, DescType typeCode, const void* dataPtr, Size dataSize);
OSErr AEPutDesc(AEDescList* theAEDescList, long index, const AEDesc* theAEDesc);
// The item at `index` (1-based) coerced to `desiredType`; `theAEKeyword`
// gets its keyword (typeWildCard for an item of a list). At most
// `maximumSize` bytes are copied; `actualSize` gets the whole size. Any
// output may be nil. errAEIllegalIndex outside 1…count; errAECoercionFail
// when the item cannot be coerced. Outputs are untouched on failure.
OSErr AEGetNthPtr(const AEDescList* theAEDescList, long index, DescType desiredType, AEKeyword* theAEKeyword,
                  DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetNthDesc(const AEDescList* theAEDescList, long index, DescType desiredType, AEKeyword* theAEKeyword,
                   AEDesc* result);
OSErr AEDeleteItem(AEDescList* theAEDescList, long index);

// Items of a record by keyword (the same as the parameter calls below).
OSErr AEPutKeyPtr(AERecord* theAERecord, AEKeyword theAEKeyword, DescType typeCode, const void* dataPtr, Size dataSize);
OSErr AEPutKeyDesc(AERecord* theAERecord, AEKeyword theAEKeyword, const AEDesc* theAEDesc);
OSErr AEGetKeyPtr(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType, DescType* typeCode,
                  void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetKeyDesc(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType, AEDesc* result);

// ---- Apple events ----

// An Apple event of the class and ID addressed to `target` (a process
// serial number, a kernel process ID or a bundle identifier; nil: none).
// A returnID of kAutoGenerateReturnID gets a new number. A target of any
// other type is errAEUnknownAddressType.
OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID, const AEAddressDesc* target,
                         AEReturnID returnID, AETransactionID transactionID, AppleEvent* result);
// Parameters work on Apple events and records. errAEDescNotFound for a
// keyword not there, errAECoercionFail when it cannot be coerced,
// errAEWrongDataType for a list or plain descriptor.
OSErr AEPutParamPtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode, const void* dataPtr,
                    Size dataSize);
OSErr AEPutParamDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, const AEDesc* theAEDesc);
OSErr AEGetParamPtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType, DescType* actualType,
                    void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetParamDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType, AEDesc* result);
OSErr AESizeOfParam(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType* typeCode, Size* dataSize);
OSErr AEDeleteParam(AppleEvent* theAppleEvent, AEKeyword theAEKeyword);
// The attributes keyEventClassAttr and keyEventIDAttr (typeType),
// keyReturnIDAttr (typeSInt16), keyTransactionIDAttr (typeSInt32) and
// keyAddressAttr (the target). errAENotAppleEvent for a descriptor that is
// no Apple event.
OSErr AEGetAttributePtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                        DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetAttributeDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType, AEDesc* result);

// ---- handlers and dispatch ----

// Installs the handler for (class, ID), replacing the one installed there
// before. Either may be typeWildCard; an exact match is preferred, then a
// wildcard ID, then a wildcard class, then both. Application handlers are
// asked before system handlers (isSysHandler), and a handler that answers
// errAEEventNotHandled passes the event on to the next that matches.
OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefcon, Boolean isSysHandler);
// errAEHandlerNotFound when `handler` is not the one installed there.
OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                           Boolean isSysHandler);
OSErr AEGetEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP* handler,
                        SRefCon* handlerRefcon, Boolean isSysHandler);

// Sends an Apple event to this process (a target naming this process: the
// current process's serial number or {0, kCurrentProcess}, getpid(), or no
// target at all). kAEWaitReply runs the handler at once and fills `reply`
// (an Apple event 'aevt'/'ansr'; a handler's error goes into its
// keyErrorNumber); kAENoReply and kAEQueueReply queue the event for the
// main event loop and make `reply` a null descriptor. A target naming any
// other process is procNotFound. Answers the handler's status for
// kAEWaitReply (errAEEventNotHandled when no handler took it).
OSErr AESend(const AppleEvent* theAppleEvent, AppleEvent* reply, AESendMode sendMode, AESendPriority sendPriority,
             SInt32 timeOutInTicks, AEIdleUPP idleProc, AEFilterUPP filterProc);
OSStatus AESendMessage(const AppleEvent* event, AppleEvent* reply, AESendMode sendMode, long timeOutInTicks);

// Dispatches the Apple event a Carbon event of class kEventClassAppleEvent
// carries (the application target's handler calls it). eventNotHandledErr
// for a Carbon event that carries none; otherwise the handler's status.
OSStatus AEProcessEvent(EventRef inEvent);

// ---- our own additions ----

// Turns the command line into the launch event, queued for the main event
// loop: the arguments after argv[0] that do not start with "-" (all of
// them after a "--") are files, made absolute against the working folder;
// with files, one 'aevt'/'odoc' event whose direct object is a list of
// their typeFileURL items, else 'aevt'/'oapp'. A file that does not exist
// is left out with the line "Warning: The file <path> does not exist and
// is not opened." paramErr for a negative argc or nil argv with argc > 0.
OSErr AEDeliverLaunchDocuments(int argc, const char* const* argv);
// Queues one 'aevt'/'odoc' event for absolute paths (or 'rapp', reopen,
// when there are none), leaving out what does not exist as above.
OSErr AEDeliverOpenDocuments(const char* const* paths, int count);
