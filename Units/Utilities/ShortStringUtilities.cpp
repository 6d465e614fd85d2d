#include "ShortStringUtilities.h"

#include <Support/UTF8.h>

#include <string>
#include <vector>

namespace {

// Byte offsets of the characters of a UTF-8 text, and its end.
std::vector<size_t> CharacterStarts(std::string_view text)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    starts.push_back(text.size());
    return starts;
}

std::string EncodeCharacter(char32_t c)
{
    std::string out;
    AppendUTF8(out, c);
    return out;
}

// The byte range of characters first..last (1-based, inclusive), cut to the text.
std::pair<size_t, size_t> ByteRange(std::string_view text, int first, int last)
{
    const std::vector<size_t> starts = CharacterStarts(text);
    const int count = static_cast<int>(starts.size()) - 1;
    first = std::max(first, 1);
    last = std::min(last, count);
    if (last < first)
        return {0, 0};
    return {starts[static_cast<size_t>(first - 1)], starts[static_cast<size_t>(last)]};
}

}  // namespace

ShortString GetTabIndent(const ShortString& s)
{
    std::string tabs;
    for (char c : s.View())
        if (c == '\t')
            tabs.push_back('\t');
    return ShortString(tabs);
}

ShortString GetStringSuffix(const ShortString& s, char32_t delimiter)
{
    const std::string marker = EncodeCharacter(delimiter);
    const size_t at = s.View().rfind(marker);
    if (at == std::string_view::npos)
        return {};
    return ShortString(s.View().substr(at + marker.size()));
}

ShortString SliceStringSuffix(const ShortString& s, char32_t delimiter)
{
    if (GetStringSuffix(s, delimiter).IsEmpty())
        return s;
    return ShortString(s.View().substr(0, s.View().rfind(EncodeCharacter(delimiter))));
}

ShortString SliceString(const ShortString& s, int first, int last)
{
    auto [begin, end] = ByteRange(s.View(), first, last);
    if (begin == end)
        return s;
    std::string text(s.View());
    text.erase(begin, end - begin);
    return ShortString(text);
}

ShortString GetStringRange(const ShortString& s, int first, int last)
{
    auto [begin, end] = ByteRange(s.View(), first, last);
    return ShortString(s.View().substr(begin, end - begin));
}

void AppendStringCharacter(ShortString& s, char32_t c)
{
    const std::string encoded = EncodeCharacter(c);
    if (s.Length() + encoded.size() <= ShortString::kCapacity)
        s += encoded;
}
