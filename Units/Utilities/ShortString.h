// Short strings: the texts, keys and names of the system, at most 255 bytes.
// They hold UTF-8 so that any text survives (the old one-byte character set
// could not hold most of the world's writing); a text that does not fit is
// cut at a character boundary, never inside a character.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

template <size_t Capacity>
class BasicShortString {
    static_assert(Capacity > 0 && Capacity <= 255);

public:
    static constexpr size_t kCapacity = Capacity;

    constexpr BasicShortString() = default;
    BasicShortString(const char* text) { Assign(text ? std::string_view(text) : std::string_view()); }
    BasicShortString(std::string_view text) { Assign(text); }
    template <size_t Other>
    BasicShortString(const BasicShortString<Other>& other)
    {
        Assign(other.View());
    }

    std::string_view View() const { return std::string_view(bytes_, length_); }
    operator std::string_view() const { return View(); }
    std::string ToString() const { return std::string(View()); }
    const char* c_str() const { return bytes_; }
    // Length in bytes.
    size_t Length() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }

    // Appends as much of `text` as fits, cut at a character boundary.
    BasicShortString& operator+=(std::string_view text)
    {
        std::string joined(View());
        joined.append(text);
        Assign(joined);
        return *this;
    }

    friend BasicShortString operator+(BasicShortString left, std::string_view right)
    {
        left += right;
        return left;
    }

    friend bool operator==(const BasicShortString& a, const BasicShortString& b) { return a.View() == b.View(); }
    friend bool operator==(const BasicShortString& a, std::string_view b) { return a.View() == b; }
    friend bool operator==(const BasicShortString& a, const char* b) { return a.View() == std::string_view(b); }
    friend std::strong_ordering operator<=>(const BasicShortString& a, const BasicShortString& b)
    {
        return a.View() <=> b.View();
    }

    // The longest prefix of `text` of at most `limit` bytes that does not
    // end inside a UTF-8 character.
    static std::string_view CutAtCharacter(std::string_view text, size_t limit)
    {
        if (text.size() <= limit)
            return text;
        size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        return text.substr(0, cut);
    }

private:
    void Assign(std::string_view text)
    {
        text = CutAtCharacter(text, Capacity);
        if (!text.empty())  // an empty view may have no bytes at all
            std::memcpy(bytes_, text.data(), text.size());
        length_ = static_cast<uint8_t>(text.size());
        bytes_[length_] = '\0';
    }

    uint8_t length_ = 0;
    char bytes_[Capacity + 1] = {};
};

typedef BasicShortString<255> ShortString;
// Names where 63 bytes suffice (preference domains).
typedef BasicShortString<63> ShortString63;
