// Perl-compatible regular expressions over platform strings, on PCRE.
//
// A TPCRERegex holds one compiled pattern, one subject and one output
// vector. Matching is caseless and UTF-8 unless told otherwise. Captured
// groups come back as PCREMatchInfo records whose ranges count the
// subject's own characters (UTF-16 units), so they can be handed straight
// back to the platform string calls.
//
// Regex() is the everyday entry: one shared regex for the whole process,
// used from the main thread. A background task that wants it must turn the
// thread-safety switch on first (SetRegexThreadSafe), or keep its own
// TPCRERegex.
#pragma once

#include <Units/Classes/TObjectUnit.h>
#include <Units/Utilities/ShortString.h>

#include <CoreFoundation/CoreFoundation.h>

#include <pcre.h>

#include <string>
#include <vector>

// Caseless, UTF-8: what every regex starts with.
constexpr UInt32 kPCRERegexDefaultOptions = PCRE_CASELESS | PCRE_UTF8;

// One captured group.
struct PCREMatchInfo {
    // The group's text, cut to 255 bytes at a character boundary.
    ShortString text;
    // Where the group lies in the subject, in UTF-16 units. A group that did
    // not take part in the match has the range (0, 0) and an empty text.
    CFRange range{0, 0};
    // Nil until RegexMatchesCopyStrings fills it. The record owns it: copies
    // retain it, and it is released with the record.
    CFStringRef string = nullptr;

    PCREMatchInfo() = default;
    PCREMatchInfo(const PCREMatchInfo& other);
    PCREMatchInfo(PCREMatchInfo&& other) noexcept;
    PCREMatchInfo& operator=(PCREMatchInfo other) noexcept;
    ~PCREMatchInfo();

    // Takes over the caller's reference (nil clears).
    void SetString(CFStringRef s);
};

// After a match, element n describes group n of the pattern, one element
// for every group whether it took part or not. Element 0 is not filled by a
// match (the whole match is not recorded); an array that was empty gets an
// empty element 0.
typedef std::vector<PCREMatchInfo> PCREMatchesArray;

class TPCRERegex : public TObject {
    BRINDLET_CLASS(TPCRERegex, TObject)

public:
    static TPCRERegex* Create() { return CreateInstance<TPCRERegex>(); }

    // Defaults (UTF-8, caseless UTF-8 options), then the empty pattern.
    void Initialize() override;
    // Frees the compiled pattern, the subject, the vector and any study data.
    void Deallocate() override;

    // Compiles the pattern with the current options. On failure writes
    // "Warning: PCRE failed: <pattern> (<reason>)" and holds no compiled
    // pattern, so every match answers false until a good one is set.
    virtual void SetExpression(const ShortString& pattern);
    // Keeps a copy of the subject and its bytes in the encoding; does
    // nothing when a subject is already held or `subject` is nil.
    virtual void SetSubject(CFStringRef subject);
    // Used for the next subject.
    virtual void SetEncoding(CFStringEncoding encoding);
    // PCRE compile options, used by the next SetExpression.
    virtual void SetOptions(UInt32 options);

    // Match the held subject.
    virtual bool Match();
    virtual bool Match(PCREMatchesArray& matches);
    // SetExpression, then MatchWithSubject.
    virtual bool Match(const ShortString& pattern, CFStringRef subject, PCREMatchesArray& matches);
    virtual bool Match(const ShortString& pattern, CFStringRef subject);
    // Replaces the held subject with `subject` and runs the pattern once
    // from its start. The form with matches collects the groups; it leaves
    // only element 0 whenever it answers false.
    virtual bool MatchWithSubject(CFStringRef subject);
    virtual bool MatchWithSubject(CFStringRef subject, PCREMatchesArray& matches);

    // Studies the compiled pattern once; the study goes with the pattern.
    virtual void Study();
    // Makes the output vector: room for 32 groups, more when the compiled
    // pattern has more.
    virtual void AllocateVectors();
    virtual void ReleaseExpression();
    virtual void ReleaseSubject();
    // A debugging aid: "\tmatches: <count - 1>", then "#i: <entry i>" for i
    // from 0 to 4 × count, as far as the vector reaches.
    virtual void ShowVectors(SInt16 count);

    const ShortString& GetExpression() const { return expression_; }
    bool HasCompiledExpression() const { return compiled_ != nullptr; }
    // The held subject (borrowed), nil when none.
    CFStringRef GetSubject() const { return subject_; }
    CFStringEncoding GetEncoding() const { return encoding_; }
    UInt32 GetOptions() const { return options_; }
    // The number of capturing groups of the compiled pattern; 0 when none is held.
    int GroupCount() const;
    const std::vector<int>& GetVector() const { return vector_; }

protected:
    TPCRERegex() = default;

private:
    void ReplaceSubject(CFStringRef subject);
    // Holds `subject` (unless a subject is being kept); false without a
    // compiled pattern or a subject.
    bool PrepareSubject(CFStringRef subject);
    // The UTF-16 position of a byte offset into the held subject's bytes;
    // -1 when it cannot be worked out.
    CFIndex UnitsBefore(int byteOffset) const;
    void FillGroup(PCREMatchInfo& info, int start, int end) const;
    // Runs the compiled pattern on the held subject within limits sized to
    // this thread's stack and to a time budget; a match stopped by a limit
    // answers no match (PCRE_ERROR_NOMATCH) with one warning line.
    int Execute(int* vector, int size);
    int ExecuteStartByStart(const pcre_extra* extra, int* vector, int size);

    ShortString expression_;
    pcre* compiled_ = nullptr;
    pcre_extra* studyData_ = nullptr;
    bool studied_ = false;
    CFStringRef subject_ = nullptr;
    // The subject in the encoding. Its length goes to PCRE with it, so a
    // zero character inside the subject does not end it early.
    std::string subjectBytes_;
    std::vector<int> vector_;
    CFStringEncoding encoding_ = kCFStringEncodingUTF8;
    UInt32 options_ = kPCRERegexDefaultOptions;
    // Set only while Match runs on the held subject.
    bool keepSubject_ = false;
};

// Whether the subject matches the pattern (false for a nil or empty
// subject), on the process's shared regex. The form with matches collects
// the groups as TPCRERegex::MatchWithSubject does.
bool Regex(const ShortString& pattern, CFStringRef subject);
bool Regex(const ShortString& pattern, CFStringRef subject, PCREMatchesArray& matches);

// Fills every element's string with a new substring of the subject at the
// element's range (an empty string for the range (0, 0)); an element whose
// range lies outside the subject gets nil. Answers the same array.
PCREMatchesArray& RegexMatchesCopyStrings(CFStringRef subject, PCREMatchesArray& matches);
// Empties every element: range (0, 0), no text, string released.
void RegexMatchesRelease(PCREMatchesArray& matches);

// The shared regex of Regex() is guarded only while this switch is on (off
// by default: everything that calls Regex runs on the main thread). Turn it
// on before any other thread calls Regex.
void SetRegexThreadSafe(bool on);
bool IsRegexThreadSafe();
