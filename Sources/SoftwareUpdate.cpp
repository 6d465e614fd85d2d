#include "SoftwareUpdate.h"

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <Units/Classes/THTTPUnit.h>
#include <Units/Classes/TTimerUnit.h>

#include <CoreFoundation/CFStringUTF8.h>
#include <Support/Diagnostics.h>

#include <cstdlib>
#include <regex>
#include <vector>

#ifndef BRINDLET_VERSION
#define BRINDLET_VERSION "0"
#endif

namespace brindlet {

namespace {

constexpr const char* kFeedKey = "SUFeedURL";

std::vector<long> VersionNumbers(std::string_view text)
{
    std::vector<long> numbers;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t point = std::min(text.find('.', start), text.size());
        numbers.push_back(std::strtol(std::string(text.substr(start, point - start)).c_str(), nullptr, 10));
        start = point + 1;
    }
    while (numbers.size() > 1 && numbers.back() == 0)
        numbers.pop_back();
    return numbers;
}

std::string FeedAddress()
{
    TPreferenceHandlerApplication* preferences = TApplication::Prefs();
    return preferences != nullptr ? std::string(preferences->GetStringValue(kFeedKey).View()) : std::string();
}

// What one check of the appcast hears from its request (the request
// holds it as its delegate and lets it go when done).
class TAppcastReader : public TObject {
    BRINDLET_CLASS(TAppcastReader, TObject)

public:
    static void Start(const std::string& address)
    {
        CFStringRef text = CFStringCreateWithUTF8(address);
        CFURLRef url = CFURLCreateWithString(nullptr, text, nullptr);
        CFRelease(text);
        if (url == nullptr) {
            Diagnostics::WriteLine("Warning: The appcast address " + address + " is not a URL.");
            return;
        }
        TAppcastReader* reader = CreateInstance<TAppcastReader>();
        reader->address_ = address;
        reader->RegisterMethod("THTTP.Data", BRINDLET_METHOD(TAppcastReader, HandleData));
        reader->RegisterMethod("THTTP.Error", BRINDLET_METHOD(TAppcastReader, HandleError));
        reader->RegisterMethod("THTTP.Complete", BRINDLET_METHOD(TAppcastReader, HandleComplete));
        THTTP* request = THTTP::Create(url, "GET");
        CFRelease(url);
        request->SetDelegate(reader);
        reader->Release();
        request->SendRequest();
    }

    void HandleData(CFStringRef chunk)
    {
        // Versions are plain ASCII: a chunk that splits a character loses
        // nothing they need.
        if (chunk != nullptr && text_.size() < kLimit)
            text_ += CFStringToUTF8(chunk);
    }

    void HandleError(CFStreamError*)
    {
        Diagnostics::WriteLine("Warning: The appcast " + address_ + " could not be read.");
    }

    void HandleComplete()
    {
        const std::string newest = NewestAppcastVersion(text_);
        if (newest.empty())
            Diagnostics::WriteLine("Warning: The appcast " + address_ + " names no version.");
        else if (IsLaterVersion(newest, BRINDLET_VERSION))
            Diagnostics::WriteLine("Software update: version " + newest + " is available.");
        else
            Diagnostics::WriteLine("Software update: version " + std::string(BRINDLET_VERSION) + " is up to date.");
    }

protected:
    TAppcastReader() = default;

private:
    static constexpr size_t kLimit = 1 << 20;
    std::string address_;
    std::string text_;
};

BRINDLET_DEFINE_CLASS(TAppcastReader, TObject)

// The repeating check, and whether the missing address was reported.
class TUpdateChecker : public TObject {
    BRINDLET_CLASS(TUpdateChecker, TObject)

public:
    static TUpdateChecker* Shared()
    {
        static TUpdateChecker* const checker = CreateInstance<TUpdateChecker>();
        return checker;
    }

    void Check()
    {
        const std::string address = FeedAddress();
        if (address.empty()) {
            if (!reported_)
                Diagnostics::WriteLine("Notice: Software updates are not checked: no appcast address is configured "
                                       "(preference user.SUFeedURL).");
            reported_ = true;
            return;
        }
        TAppcastReader::Start(address);
    }

    void CheckEvery(double seconds)
    {
        TTimer::Terminate(timer_);
        if (seconds > 0)
            timer_ = TTimer::Create(seconds, seconds, BRINDLET_METHOD(TUpdateChecker, Check), this, nullptr);
    }

protected:
    TUpdateChecker() = default;

private:
    bool reported_ = false;
    TTimer* timer_ = nullptr;
};

BRINDLET_DEFINE_CLASS(TUpdateChecker, TObject)

}  // namespace

std::string NewestAppcastVersion(std::string_view appcast)
{
    // Both forms: the enclosure's attribute and the item's element.
    static const std::regex kVersion(R"(sparkle:version\s*(?:=\s*["']([^"'<>]{1,40})["']|>\s*([^<\s]{1,40})\s*<))");
    std::string newest;
    const std::string text(appcast.substr(0, 1 << 20));
    for (auto match = std::sregex_iterator(text.begin(), text.end(), kVersion); match != std::sregex_iterator();
         ++match) {
        const std::string version = (*match)[1].matched ? (*match)[1].str() : (*match)[2].str();
        if (newest.empty() || IsLaterVersion(version, newest))
            newest = version;
    }
    return newest;
}

bool IsLaterVersion(std::string_view a, std::string_view b)
{
    return VersionNumbers(a) > VersionNumbers(b);
}

}  // namespace brindlet

void SUSparkleInitializeForCarbon()
{
    brindlet::TUpdateChecker::Shared();
}

void SUSparkleCheckForUpdates(Boolean)
{
    brindlet::TUpdateChecker::Shared()->Check();
}

void SUSparkleCheckWithInterval(double seconds)
{
    brindlet::TUpdateChecker::Shared()->CheckEvery(seconds);
}
