#include <CFTestSupport.h>
#include <FileFixtures.h>
#include <StalledFifo.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/Classes/TStringUnit.h>

#include <AppKit/NSAlert.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <chrono>

#include <sys/stat.h>

namespace {

std::string TextOf(const TString* string)
{
    return UTF8Of(string->CFType());
}

std::string FixturePath(std::string_view relative)
{
    return std::string(BRINDLET_FIXTURES_DIR) + "/" + std::string(relative);
}

FSRef RefOf(const std::string& path)
{
    FSRef ref{};
    FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr);
    return ref;
}

// A TString released when the test leaves the scope.
TObjectRef<TString> Owned(TString* string)
{
    return TObjectRef<TString>::Adopt(string);
}

struct Loaded {
    std::string text;  // "<nil>" when the string is nil
    bool loaded;
};

Loaded Load(const FSRef& file, bool showErrors = false)
{
    bool loaded = true;
    const auto string = Owned(TString::Create(file, showErrors, loaded));
    return {TextOf(string.get()), loaded};
}

}  // namespace

TEST(TString, PlaceholdersAreFilledByTheirWholeNumber)
{
    auto three = MakeString("3"), seven = MakeString("7"), a = MakeString("a"), b = MakeString("b");
    auto second = MakeString("^2"), x = MakeString("x");

    EXPECT_EQ(TextOf(Owned(TString::Create("^1 of ^2", {three, seven})).get()), "3 of 7");
    // Above the argument count a placeholder stays; a nil argument is empty.
    EXPECT_EQ(TextOf(Owned(TString::Create("^1 and ^3", {a, b})).get()), "a and ^3");
    EXPECT_EQ(TextOf(Owned(TString::Create("[^1]", {nullptr})).get()), "[]");
    // Text an argument brings in is not searched again.
    EXPECT_EQ(TextOf(Owned(TString::Create("^1!", {second, x})).get()), "^2!");
    EXPECT_EQ(TextOf(Owned(TString::Create(CFSTR("^2^1"), {a, b})).get()), "ba");

    // "^10" is the tenth argument, not the first followed by a zero.
    std::vector<CFRef<CFStringRef>> owned;
    std::vector<CFStringRef> ten;
    for (char c = 'a'; c <= 'j'; ++c) {
        owned.push_back(MakeString(std::string(1, c)));
        ten.push_back(owned.back());
    }
    EXPECT_EQ(TextOf(Owned(TString::Create(ShortString("^1-^10-^2"), ten)).get()), "a-j-b");
    EXPECT_EQ(TextOf(Owned(TString::Create("^10", {a})).get()), "^10");
}

TEST(TString, EscapeCharactersInsertsOnlyWhereMissing)
{
    const struct {
        const char* text;
        const char* escaped;
    } cases[] = {
        {R"(say \"hi" now)", R"(say \"hi\" now)"},
        // A text that ends with the character gets no stray backslash after it.
        {R"(ends with ")", R"(ends with \")"},
        {R"(")", R"(\")"},
        {R"("")", R"(\"\")"},
        {R"("a\")", R"(\"a\")"},
        {"", ""},
        {"none", "none"},
    };
    for (const auto& c : cases) {
        const auto string = Owned(TString::Create(MakeString(c.text).get()));
        string->EscapeCharacters(u'"');
        EXPECT_EQ(TextOf(string.get()), c.escaped) << c.text;
    }
}

TEST(TString, AppendingInsertingAndReplacing)
{
    const auto string = Owned(TString::Create());
    EXPECT_EQ(string->GetLength(), 0);
    string->AppendLine("abc");
    EXPECT_EQ(TextOf(string.get()), "abc\n");
    string->SetLineEnding("\r\n");
    string->AppendLine("d\u00E9f");
    string->Append(CFSTR("!"));
    EXPECT_EQ(TextOf(string.get()), "abc\nd\u00E9f\r\n!");

    string->Insert(0, ">");
    string->Insert(1, CFSTR(" "));
    string->Insert(1000, "<");
    EXPECT_EQ(TextOf(string.get()), "> abc\nd\u00E9f\r\n!<");
    string->FindAndReplace(CFSTR("\r\n"), CFSTR("\n"));
    string->FindAndReplace(CFSTR("ABC"), CFSTR("x"));  // case-sensitive: no match
    EXPECT_EQ(TextOf(string.get()), "> abc\nd\u00E9f\n!<");

    // A text that fills a whole short string keeps its line ending.
    const auto full = Owned(TString::Create());
    full->AppendLine(ShortString(std::string(255, 'x')));
    EXPECT_EQ(full->GetLength(), 256);
    EXPECT_EQ(full->GetCharacter(255), '\n');
}

// Editing a long note costs time in proportion to its length: a Windows
// text of 2.2 MB with a line ending and a quote every few characters.
TEST(TString, EditingLongTextsStaysLinear)
{
    std::string text;
    while (text.size() < 2'200'000)
        text += "line \"one\"\r\n";
    const auto string = Owned(TString::Create(MakeString(text.c_str()).get()));
    const auto started = std::chrono::steady_clock::now();
    string->FindAndReplace(CFSTR("\r\n"), CFSTR("\n"));
    string->EscapeCharacters(u'"');
    // Linear work takes a fraction of a second (more under a sanitizer on a
    // busy machine); work that moved the rest of the text at each of the
    // 200,000 edits would take minutes.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    const std::string edited = TextOf(string.get());
    EXPECT_EQ(edited.substr(0, 26), "line \\\"one\\\"\nline \\\"one\\\"\n");
    EXPECT_EQ(edited.size(), text.size() / 12 * 13);
}

TEST(TString, ExplodeKeepsEmptyPieces)
{
    const struct {
        const char* text;
        const char* separator;
        std::vector<std::string> pieces;
    } cases[] = {
        {"a,,b", ",", {"a", "", "b"}},  {",a,", ",", {"", "a", ""}}, {"abc", ",", {"abc"}}, {"", ",", {""}},
        {"a::b:c", "::", {"a", "b:c"}}, {"a,b", "", {"a,b"}},
    };
    for (const auto& c : cases) {
        const auto string = Owned(TString::Create(MakeString(c.text).get()));
        const auto pieces = TObjectRef<TTypeArray>::Adopt(string->Explode(c.separator));
        ASSERT_EQ(pieces->Count(), static_cast<SInt32>(c.pieces.size())) << c.text;
        for (size_t i = 0; i < c.pieces.size(); ++i)
            EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(pieces->GetValue(static_cast<SInt32>(i)))), c.pieces[i]);
    }
}

TEST(TString, CopiesAreIndependent)
{
    const auto string = Owned(TString::Create(MakeString("h\u00E9\U0001F600").get()));
    CFRef<CFStringRef> copy(string->CopyString());
    string->Append("!");
    EXPECT_EQ(UTF8Of(copy), "h\u00E9\U0001F600");

    Ptr units = string->CopyUTF8String();
    ASSERT_NE(units, nullptr);
    ASSERT_EQ(GetPtrSize(units), 2 * string->GetLength());
    const std::u16string expected = u"h\u00E9\U0001F600!";
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(units), expected.size()), expected);
    DisposePtr(units);
}

TEST(TString, CharactersAsMacRomanBytes)
{
    const auto string = Owned(TString::Create(MakeString("a\u00E9\u20AC\u4E2Dz").get()));
    EXPECT_EQ(string->GetCharacter(0), 'a');
    EXPECT_EQ(string->GetCharacter(1), 0x8E);  // é
    EXPECT_EQ(string->GetCharacter(2), 0xDB);  // €
    EXPECT_EQ(string->GetCharacter(3), 0);     // no Mac Roman form
    // At the length: the last character.
    EXPECT_EQ(string->GetCharacter(string->GetLength()), 'z');
    EXPECT_EQ(string->GetCharacterDirect(string->GetLength()), 'z');

    const auto empty = Owned(TString::Create());
    EXPECT_EQ(empty->GetCharacter(0), 0);
}

TEST(TString, ReadAheadWindowAnswersLikeDirectReading)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text.push_back(static_cast<char>('A' + i % 26));
    const auto string = Owned(TString::Create(MakeString(text).get()));

    {
        Diagnostics::Capture capture;
        string->InitInlineBuffer(CFRangeMake(0, 300));  // buffered reading is off: nothing
        EXPECT_TRUE(capture.Lines().empty());
    }
    string->SetBufferedReading(true);
    Diagnostics::Capture capture;
    string->InitInlineBuffer(CFRangeMake(0, string->GetLength()));
    EXPECT_EQ(capture.Text(), "\tbuffered 300 characters.\n");
    // Forwards, backwards and jumping, across many refills.
    for (SInt32 i : {0, 1, 63, 64, 65, 299, 300, 2, 150, 149, 70, 10}) {
        EXPECT_EQ(string->GetCharacter(i), string->GetCharacterDirect(i)) << i;
        EXPECT_EQ(string->GetCharacterFromInlineBuffer(i), text[std::min(i, 299)]) << i;
    }
    // An edit is seen, not the stale window.
    string->Insert(0, "#");
    EXPECT_EQ(string->GetCharacterFromInlineBuffer(0), '#');
    EXPECT_TRUE(capture.Lines().size() == 1);

    EXPECT_EQ(string->GetCharacterFromInlineBuffer(-1), 0);
    EXPECT_EQ(capture.Lines().back(), "bad idx -1");
}

TEST(TString, LoadsTextInItsEncodingOrAsMacRoman)
{
    ScratchFolder folder;
    const struct {
        const char* name;
        std::string bytes;
        const char* text;
    } cases[] = {
        {"plain.txt", "caf\xC3\xA9", "caf\u00E9"},
        {"marked.txt",
         "\xEF\xBB\xBF"
         "caf\xC3\xA9",
         "caf\u00E9"},
        {"little.txt",
         std::string("\xFF\xFE"
                     "c\0\xE9\0",
                     6),
         "c\u00E9"},
        {"big.txt", std::string("\xFE\xFF\0c\0\xE9", 6), "c\u00E9"},
        // Latin-1 is not UTF-8: its bytes are read as Mac Roman, so E9 is È.
        {"latin1.txt", "caf\xE9 cr\xE8me", "caf\u00C8 cr\u00CBme"},
        {"noextension", "x", "x"},
    };
    for (const auto& c : cases) {
        folder.Write(c.name, c.bytes);
        const Loaded result = Load(folder.Ref(c.name));
        EXPECT_EQ(result.text, c.text) << c.name;
        EXPECT_TRUE(result.loaded) << c.name;
    }

    // An empty file gives an empty string and counts as not loaded.
    folder.Write("empty.txt", "");
    const Loaded empty = Load(folder.Ref("empty.txt"));
    EXPECT_EQ(empty.text, "");
    EXPECT_FALSE(empty.loaded);
}

TEST(TString, LoadsRTFAsPlainText)
{
    const Loaded result = Load(RefOf(FixturePath("RichText/menu.rtf")));
    EXPECT_TRUE(result.loaded);
    EXPECT_EQ(result.text, "Caf\u00E9 au lait: 3\u20AC each\n"
                           "Cr\u00E8me, red {braces} and a back\\slash\n"
                           "Line one\u2028line two\tend");

    // Known by its extension, whatever the case; refused when it is not RTF.
    ScratchFolder folder;
    folder.Write("Upper.RTF", "{\\rtf1 up}");
    EXPECT_EQ(Load(folder.Ref("Upper.RTF")).text, "up");
    folder.Write("fake.rtf", "just text");
    const Loaded fake = Load(folder.Ref("fake.rtf"));
    EXPECT_FALSE(fake.loaded);
    EXPECT_EQ(fake.text, "<nil>");
}

TEST(TString, FailedLoadsAlertOnlyWhenAsked)
{
    ScratchFolder folder;
    folder.MakeFolder("folder.txt");
    folder.Write("fake.rtf", "just text");

    NSAlertScript script;
    const Loaded quiet = Load(folder.Ref("folder.txt"), false);
    EXPECT_FALSE(quiet.loaded);
    EXPECT_EQ(quiet.text, "<nil>");
    EXPECT_TRUE(script.Alerts().empty());

    EXPECT_FALSE(Load(folder.Ref("folder.txt"), true).loaded);
    EXPECT_FALSE(Load(FSRef{}, true).loaded);
    EXPECT_FALSE(Load(folder.Ref("fake.rtf"), true).loaded);
    ASSERT_EQ(script.Alerts().size(), 3u);
    EXPECT_EQ(script.Alerts()[0].messageText, "The file \u201Cfolder.txt\u201D could not be opened.");
    EXPECT_EQ(script.Alerts()[0].informativeText, "It is a folder, not a file.");
    EXPECT_EQ(script.Alerts()[0].buttonTitles, std::vector<std::string>{"OK"});
    EXPECT_EQ(script.Alerts()[1].messageText, "The file could not be opened.");
    EXPECT_EQ(script.Alerts()[1].informativeText, "There is no such file.");
    EXPECT_EQ(script.Alerts()[2].messageText, "The file \u201Cfake.rtf\u201D could not be opened.");
}

// A note is read from a file of a note's size: a pipe or a file
// larger than any note is refused at once, with one warning line (or the
// alert, when errors are shown) and nothing loaded.
TEST(TString, LoadsOnlyFilesOfANotesSize)
{
    ScratchFolder folder;
    StalledFifo pipe(folder / "pipe.txt");
    ASSERT_TRUE(pipe.Made());
    StalledFifo rtfPipe(folder / "pipe.rtf");
    ASSERT_TRUE(rtfPipe.Made());
    folder.Write("huge.txt", "");
    ASSERT_EQ(truncate((folder / "huge.txt").c_str(), off_t(1) << 30), 0);  // sparse
    for (const std::string& path : {folder / "pipe.txt", folder / "pipe.rtf", folder / "huge.txt"}) {
        SCOPED_TRACE(path);
        Diagnostics::Capture capture;
        Loaded result{};
        const auto took = TimeOf([&] { result = Load(RefOf(path)); });
        EXPECT_LT(took.count(), 1000);
        EXPECT_FALSE(result.loaded);
        ASSERT_EQ(capture.Lines().size(), 1u) << capture.Text();
        EXPECT_EQ(capture.Lines()[0].rfind("Warning: ", 0), 0u) << capture.Text();
    }
    NSAlertScript script;
    EXPECT_FALSE(Load(RefOf(folder / "huge.txt"), true).loaded);
    ASSERT_EQ(script.Alerts().size(), 1u);
    EXPECT_EQ(script.Alerts()[0].messageText, "The file \u201Chuge.txt\u201D could not be opened.");
}

TEST(TString, AlertWithoutAnApplicationBecomesAWarningLine)
{
    ScratchFolder folder;
    folder.MakeFolder("folder.txt");
    Diagnostics::Capture capture;
    EXPECT_FALSE(Load(folder.Ref("folder.txt"), true).loaded);
    EXPECT_EQ(capture.Text(),
              "Warning: The file \u201Cfolder.txt\u201D could not be opened. It is a folder, not a file.\n");
}

TEST(TString, SaveWritesUTF8Atomically)
{
    ScratchFolder folder;
    const std::string path = folder / "out.txt";
    folder.Write("out.txt", "old contents that are longer");
    auto cfPath = MakeString(path);

    const auto string = Owned(TString::Create(MakeString("caf\u00E9 \U0001F600\n").get()));
    OSStatus error = -1;
    EXPECT_TRUE(string->Save(cfPath, error));
    EXPECT_EQ(error, noErr);
    EXPECT_EQ(ReadWhole(path), "caf\xC3\xA9 \xF0\x9F\x98\x80\n");
    // Nothing but the file itself is left in the folder.
    using std::filesystem::directory_iterator;
    EXPECT_EQ(std::distance(directory_iterator(folder.Path()), directory_iterator()), 1);

    EXPECT_FALSE(string->Save(MakeString(folder / "missing/out.txt"), error));
    EXPECT_NE(error, noErr);

    // A string whose file could not be read never replaces a file with nothing.
    const auto failed = Owned(TString::Create(FSRef{}, false));
    EXPECT_FALSE(failed->Save(cfPath, error));
    EXPECT_EQ(error, paramErr);
    EXPECT_EQ(ReadWhole(path), "caf\xC3\xA9 \xF0\x9F\x98\x80\n");
}

TEST(TString, MadeByNameAndCopied)
{
    const auto object = TObjectRef<TObject>::Adopt(AllocateClass("TString"));
    ASSERT_NE(object, nullptr);
    object->RequestInitialization();
    ASSERT_TRUE(MemberOfClass(object, TString::StaticClass()));
    auto* string = static_cast<TString*>(object.get());
    EXPECT_EQ(string->GetLineEnding(), "\n");
    EXPECT_EQ(string->GetLength(), 0);
    string->Append("by name");
    string->SetLineEnding("\r");
    EXPECT_EQ(TextOf(string), "by name");

    const auto copy = TObjectRef<TString>::Adopt(static_cast<TString*>(string->Copy()));
    string->Append("!");
    EXPECT_EQ(TextOf(copy), "by name");
    EXPECT_EQ(copy->GetLineEnding(), "\r");
}
