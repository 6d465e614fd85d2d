#include "PCRERegex.h"

#include <CoreFoundation/CFRef.h>
#include <Support/Diagnostics.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <mutex>
#include <utility>

#include <pthread.h>

namespace {

// PCRE wants three integers per group and one group more for the whole
// match; 99 is room for 32 groups, which covers every pattern of the
// programs. A pattern with more groups gets a larger vector.
constexpr int kMinimumVectorSize = 99;

// How much backtracking one attempt may do: PCRE's own default, stated so
// that no build of the library can raise it.
constexpr unsigned long kMatchLimit = 10'000'000;

// Subjects up to this size are matched by one call of PCRE. Longer ones are
// tried start by start, so that a pattern whose every attempt scans to the
// end (quadratic in the length, which no PCRE limit counts) is stopped by
// the time budget instead of running for minutes.
constexpr int kWholeSubjectBytes = 64 * 1024;
constexpr std::chrono::milliseconds kScanBudget{2000};

// Stands for "the time budget ran out" beside PCRE's own error codes.
constexpr int kBudgetExhausted = INT_MIN;

// The bytes of one frame of PCRE's matcher on this build, as PCRE reports it.
size_t MatcherFrameBytes()
{
    static const size_t frame = [] {
        const int answer = pcre_exec(nullptr, nullptr, nullptr, -999, -999, 0, nullptr, 0);
        return answer < 0 ? static_cast<size_t>(-answer) : size_t{1024};
    }();
    return frame;
}

// How deep PCRE may recurse on this thread's stack: what is left below the
// caller, less a margin for whatever runs after the match, at twice the
// frame PCRE reports (nested groups take more than one frame a level).
unsigned long RecursionLimit()
{
    constexpr size_t kMargin = 256 * 1024;
    size_t left = 512 * 1024;  // what every thread of ours has at least
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        void* lowest = nullptr;
        size_t size = 0;
        if (pthread_attr_getstack(&attributes, &lowest, &size) == 0 && lowest != nullptr) {
            const char here = 0;
            const auto top = reinterpret_cast<uintptr_t>(&here), bottom = reinterpret_cast<uintptr_t>(lowest);
            if (top > bottom)
                left = top - bottom;
        }
        pthread_attr_destroy(&attributes);
    }
    if (left <= kMargin)
        return 1;
    return std::clamp<unsigned long>((left - kMargin) / (2 * MatcherFrameBytes()), 1, kMatchLimit);
}

// The bytes of a string in an encoding; false when the encoding cannot
// hold it. An empty string is an empty subject, not a failure.
bool CopyBytes(CFStringRef s, CFStringEncoding encoding, std::string& out)
{
    const CFIndex length = CFStringGetLength(s);
    CFIndex needed = 0;
    if (CFStringGetBytes(s, CFRangeMake(0, length), encoding, 0, false, nullptr, 0, &needed) != length)
        return false;
    // PCRE takes a subject's length as an int.
    if (needed > INT_MAX)
        return false;
    out.assign(static_cast<size_t>(needed), '\0');
    CFStringGetBytes(s, CFRangeMake(0, length), encoding, 0, false, reinterpret_cast<UInt8*>(out.data()), needed,
                     &needed);
    return true;
}

// Element 0 alone, kept as it was (or empty when the array was empty).
void KeepElementZero(PCREMatchesArray& matches)
{
    matches.resize(1);
}

std::atomic<bool> gThreadSafe{false};

// The process's regex and the lock that guards it when the switch is on.
struct SharedRegex {
    TPCRERegex* regex = TPCRERegex::Create();
    std::mutex mutex;
};

SharedRegex& Shared()
{
    // Kept for the whole process.
    static auto* shared = new SharedRegex;
    return *shared;
}

template <typename Body>
bool WithSharedRegex(Body body)
{
    SharedRegex& shared = Shared();
    std::unique_lock<std::mutex> lock(shared.mutex, std::defer_lock);
    if (gThreadSafe.load())
        lock.lock();
    return body(shared.regex);
}

}  // namespace

// ---- PCREMatchInfo ----

PCREMatchInfo::PCREMatchInfo(const PCREMatchInfo& other) : text(other.text), range(other.range), string(other.string)
{
    if (string)
        CFRetain(string);
}

PCREMatchInfo::PCREMatchInfo(PCREMatchInfo&& other) noexcept
    : text(other.text), range(other.range), string(std::exchange(other.string, nullptr))
{}

PCREMatchInfo& PCREMatchInfo::operator=(PCREMatchInfo other) noexcept
{
    text = other.text;
    range = other.range;
    std::swap(string, other.string);
    return *this;
}

PCREMatchInfo::~PCREMatchInfo()
{
    if (string)
        CFRelease(string);
}

void PCREMatchInfo::SetString(CFStringRef s)
{
    if (string)
        CFRelease(string);
    string = s;
}

// ---- TPCRERegex ----

BRINDLET_DEFINE_CLASS(TPCRERegex, TObject)

void TPCRERegex::Initialize()
{
    Inherited::Initialize();
    encoding_ = kCFStringEncodingUTF8;
    options_ = kPCRERegexDefaultOptions;
    keepSubject_ = false;
    SetExpression("");
}

void TPCRERegex::Deallocate()
{
    ReleaseExpression();
    ReleaseSubject();
    vector_.clear();
    vector_.shrink_to_fit();
    Inherited::Deallocate();
}

void TPCRERegex::SetOptions(UInt32 options)
{
    options_ = options;
}

void TPCRERegex::SetEncoding(CFStringEncoding encoding)
{
    encoding_ = encoding;
}

void TPCRERegex::SetExpression(const ShortString& pattern)
{
    expression_ = pattern;
    // Whatever happens below, the pattern held before is gone: a pattern
    // that fails must not leave the previous one matching in its place.
    ReleaseExpression();
    const char* error = nullptr;
    int errorOffset = 0;
    compiled_ = pcre_compile(expression_.c_str(), static_cast<int>(options_), &error, &errorOffset, nullptr);
    if (compiled_ == nullptr)
        Diagnostics::WriteLine("Warning: PCRE failed: " + expression_.ToString() + " (" +
                               (error ? error : "unknown error") + ")");
}

void TPCRERegex::ReleaseExpression()
{
    // A study belongs to the pattern it was made for.
    if (studyData_)
        pcre_free_study(studyData_);
    studyData_ = nullptr;
    studied_ = false;
    if (compiled_)
        pcre_free(compiled_);
    compiled_ = nullptr;
}

int TPCRERegex::GroupCount() const
{
    int count = 0;
    if (compiled_ == nullptr || pcre_fullinfo(compiled_, nullptr, PCRE_INFO_CAPTURECOUNT, &count) != 0)
        return 0;
    return count;
}

void TPCRERegex::Study()
{
    if (compiled_ == nullptr || studied_)
        return;
    const char* error = nullptr;
    studyData_ = pcre_study(compiled_, 0, &error);
    studied_ = true;
}

void TPCRERegex::SetSubject(CFStringRef subject)
{
    if (subject_ != nullptr || subject == nullptr)
        return;
    std::string bytes;
    CFStringRef copy = CFStringCreateCopy(nullptr, subject);
    if (copy == nullptr || !CopyBytes(copy, encoding_, bytes)) {
        if (copy)
            CFRelease(copy);
        Diagnostics::WriteLine("Warning: PCRE failed to copy subject string.");
        return;
    }
    subject_ = copy;
    subjectBytes_ = std::move(bytes);
}

void TPCRERegex::ReleaseSubject()
{
    if (subject_)
        CFRelease(subject_);
    subject_ = nullptr;
    subjectBytes_.clear();
}

void TPCRERegex::ReplaceSubject(CFStringRef subject)
{
    // Held across the release: the caller may hand back the subject we hold.
    CFRef<CFStringRef> incoming = CFRef<CFStringRef>::Retained(subject);
    ReleaseSubject();
    SetSubject(incoming);
}

void TPCRERegex::AllocateVectors()
{
    const int needed = std::max(kMinimumVectorSize, 3 * (GroupCount() + 1));
    if (static_cast<int>(vector_.size()) < needed)
        vector_.resize(static_cast<size_t>(needed), 0);
}

bool TPCRERegex::PrepareSubject(CFStringRef subject)
{
    if (compiled_ == nullptr)
        return false;
    if (!keepSubject_)
        ReplaceSubject(subject);
    return subject_ != nullptr;
}

int TPCRERegex::Execute(int* vector, int size)
{
    pcre_extra extra = studyData_ ? *studyData_ : pcre_extra{};
    extra.flags |= PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
    extra.match_limit = kMatchLimit;
    extra.match_limit_recursion = RecursionLimit();
    const int length = static_cast<int>(subjectBytes_.size());
    const int result = length <= kWholeSubjectBytes
                           ? pcre_exec(compiled_, &extra, subjectBytes_.data(), length, 0, 0, vector, size)
                           : ExecuteStartByStart(&extra, vector, size);
    const char* reason = result == PCRE_ERROR_MATCHLIMIT       ? "match limit"
                         : result == PCRE_ERROR_RECURSIONLIMIT ? "recursion limit"
                         : result == kBudgetExhausted          ? "time budget"
                                                               : nullptr;
    if (reason == nullptr)
        return result;
    Diagnostics::WriteLine("Warning: PCRE stopped matching " + expression_.ToString() + " on a subject of " +
                           std::to_string(length) + " bytes at its " + reason + "; no match.");
    return PCRE_ERROR_NOMATCH;
}

int TPCRERegex::ExecuteStartByStart(const pcre_extra* extra, int* vector, int size)
{
    const char* bytes = subjectBytes_.data();
    const int length = static_cast<int>(subjectBytes_.size());
    unsigned long patternOptions = 0;
    pcre_fullinfo(compiled_, nullptr, PCRE_INFO_OPTIONS, &patternOptions);
    if (patternOptions & PCRE_ANCHORED)
        return pcre_exec(compiled_, extra, bytes, length, 0, 0, vector, size);
    // The bytes a match can start with, when the study worked them out.
    const unsigned char* starts = nullptr;
    if (studyData_)
        pcre_fullinfo(compiled_, studyData_, PCRE_INFO_FIRSTTABLE, &starts);
    const bool utf8 = (patternOptions & PCRE_UTF8) != 0;
    const auto deadline = std::chrono::steady_clock::now() + kScanBudget;
    // The first attempt checks the subject's UTF-8; later ones need not.
    int checked = 0;
    for (int start = 0, attempts = 0; start <= length; ++start) {
        if (start < length) {
            const auto byte = static_cast<unsigned char>(bytes[start]);
            if (utf8 && (byte & 0xC0) == 0x80)
                continue;
            if (starts && !(starts[byte >> 3] & (1u << (byte & 7))))
                continue;
        }
        if (++attempts % 256 == 0 && std::chrono::steady_clock::now() > deadline)
            return kBudgetExhausted;
        const int result = pcre_exec(compiled_, extra, bytes, length, start, PCRE_ANCHORED | checked, vector, size);
        if (result != PCRE_ERROR_NOMATCH)
            return result;
        checked = PCRE_NO_UTF8_CHECK;
    }
    return PCRE_ERROR_NOMATCH;
}

bool TPCRERegex::MatchWithSubject(CFStringRef subject)
{
    if (!PrepareSubject(subject))
        return false;
    return Execute(nullptr, 0) >= 0;
}

bool TPCRERegex::MatchWithSubject(CFStringRef subject, PCREMatchesArray& matches)
{
    // Every false answer leaves element 0 alone, never the groups of an
    // earlier match.
    KeepElementZero(matches);
    if (!PrepareSubject(subject))
        return false;
    AllocateVectors();
    const int result = Execute(vector_.data(), static_cast<int>(vector_.size()));
    // The vector has room for every group, so 0 (too small) cannot come;
    // negative results are no match or an error.
    if (result <= 0)
        return false;
    // One element per group of the pattern, so that group n is always at n:
    // PCRE leaves a group that took no part at -1, and stops counting after
    // the last group that took part.
    const int groups = GroupCount();
    matches.resize(static_cast<size_t>(groups) + 1);
    for (int n = 1; n <= groups; ++n) {
        if (n < result && vector_[2 * n] >= 0)
            FillGroup(matches[n], vector_[2 * n], vector_[2 * n + 1]);
    }
    return true;
}

CFIndex TPCRERegex::UnitsBefore(int byteOffset) const
{
    if (byteOffset < 0 || static_cast<size_t>(byteOffset) > subjectBytes_.size())
        return -1;
    if (encoding_ == kCFStringEncodingUTF8) {
        // Every character starts with a byte that is not 10xxxxxx; those of
        // four bytes lie outside the basic plane and take two UTF-16 units.
        CFIndex units = 0;
        for (int i = 0; i < byteOffset; ++i) {
            const auto byte = static_cast<unsigned char>(subjectBytes_[static_cast<size_t>(i)]);
            if ((byte & 0xC0) != 0x80)
                units += byte >= 0xF0 ? 2 : 1;
        }
        return units;
    }
    CFRef<CFStringRef> prefix(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(subjectBytes_.data()),
                                                      byteOffset, encoding_, false));
    return prefix ? CFStringGetLength(prefix) : -1;
}

void TPCRERegex::FillGroup(PCREMatchInfo& info, int start, int end) const
{
    const CFIndex location = UnitsBefore(start);
    const CFIndex stop = UnitsBefore(end);
    if (location < 0 || stop < location || stop > CFStringGetLength(subject_))
        return;
    const CFRange range = CFRangeMake(location, stop - location);
    CFRef<CFStringRef> substring(CFStringCreateWithSubstring(nullptr, subject_, range));
    std::string text;
    // Short strings are UTF-8 whatever encoding the subject was matched in.
    if (!substring || !CopyBytes(substring, kCFStringEncodingUTF8, text))
        return;
    info.text = ShortString(text);
    info.range = range;
}

bool TPCRERegex::Match(const ShortString& pattern, CFStringRef subject, PCREMatchesArray& matches)
{
    keepSubject_ = false;
    SetExpression(pattern);
    return MatchWithSubject(subject, matches);
}

bool TPCRERegex::Match(const ShortString& pattern, CFStringRef subject)
{
    keepSubject_ = false;
    SetExpression(pattern);
    return MatchWithSubject(subject);
}

bool TPCRERegex::Match()
{
    keepSubject_ = true;
    const bool matched = MatchWithSubject(subject_);
    keepSubject_ = false;
    return matched;
}

bool TPCRERegex::Match(PCREMatchesArray& matches)
{
    keepSubject_ = true;
    const bool matched = MatchWithSubject(subject_, matches);
    keepSubject_ = false;
    return matched;
}

void TPCRERegex::ShowVectors(SInt16 count)
{
    Diagnostics::WriteLine("\tmatches: " + std::to_string(count - 1));
    // Never beyond the vector, whatever count is asked for.
    const int last = std::min(4 * static_cast<int>(count), static_cast<int>(vector_.size()) - 1);
    for (int i = 0; i <= last; ++i)
        Diagnostics::WriteLine("#" + std::to_string(i) + ": " + std::to_string(vector_[static_cast<size_t>(i)]));
}

// ---- unit functions ----

bool Regex(const ShortString& pattern, CFStringRef subject)
{
    if (subject == nullptr || CFStringGetLength(subject) == 0)
        return false;
    return WithSharedRegex([&](TPCRERegex* regex) {
        regex->SetExpression(pattern);
        return regex->MatchWithSubject(subject);
    });
}

bool Regex(const ShortString& pattern, CFStringRef subject, PCREMatchesArray& matches)
{
    if (subject == nullptr || CFStringGetLength(subject) == 0) {
        KeepElementZero(matches);
        return false;
    }
    return WithSharedRegex([&](TPCRERegex* regex) {
        regex->SetExpression(pattern);
        return regex->MatchWithSubject(subject, matches);
    });
}

PCREMatchesArray& RegexMatchesCopyStrings(CFStringRef subject, PCREMatchesArray& matches)
{
    const CFIndex length = subject ? CFStringGetLength(subject) : 0;
    for (PCREMatchInfo& info : matches) {
        const CFRange r = info.range;
        const bool inside = subject != nullptr && r.location >= 0 && r.length >= 0 && r.location <= length &&
                            r.length <= length - r.location;
        info.SetString(inside ? CFStringCreateWithSubstring(nullptr, subject, r) : nullptr);
    }
    return matches;
}

void RegexMatchesRelease(PCREMatchesArray& matches)
{
    for (PCREMatchInfo& info : matches) {
        info.range = CFRangeMake(0, 0);
        info.text = ShortString();
        info.SetString(nullptr);
    }
}

void SetRegexThreadSafe(bool on)
{
    gThreadSafe.store(on);
}

bool IsRegexThreadSafe()
{
    return gThreadSafe.load();
}
