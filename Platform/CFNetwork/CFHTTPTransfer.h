// The network side of an HTTP stream: one request sent through Qt's network
// access, its response buffered until the stream reads it. Lives on the
// application's thread; `changed` is called from that thread's event loop,
// on a later pass, whenever there is something new for the stream to look
// at (bytes, the end, an error), never from inside a call of this class.
#pragma once

#include "CFNetworkInternal.h"

#include <functional>
#include <memory>

class CFHTTPTransfer {
public:
    // A transfer under way, or nil with the reason in `error`.
    static std::unique_ptr<CFHTTPTransfer> Start(const CFHTTPMessageObject& request, bool followRedirects,
                                                 std::function<void()> changed, CFStreamError* error);
    // Ends the transfer if it is still going; `changed` is not called again.
    ~CFHTTPTransfer();
    CFHTTPTransfer(const CFHTTPTransfer&) = delete;
    CFHTTPTransfer& operator=(const CFHTTPTransfer&) = delete;

    // Whether the caller is on the thread the transfer lives on.
    bool OnItsThread() const;

    CFIndex BytesAvailable() const;
    CFIndex Read(UInt8* buffer, CFIndex length);
    // Whether the response is complete (or failed) and nothing more will come.
    bool IsFinished() const;
    // {0, 0} for a complete response, whatever its status.
    CFStreamError Error() const;
    // Runs the application's loop until bytes, the end or an error arrive.
    void WaitForProgress();
    // Asks for a `changed` call on a later pass (several requests before it
    // comes make one call).
    void PostChanged();

    CFHTTPMessageRef CopyResponseHeader() const;
    CFURLRef CopyFinalURL() const;

private:
    class Relay;
    explicit CFHTTPTransfer(Relay* relay);
    Relay* Live() const;

    struct Handle;
    std::unique_ptr<Handle> handle_;
};
