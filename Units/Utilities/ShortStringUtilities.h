// Slicing and building short strings. Positions count characters from 1
// (not bytes), so no operation ever splits a character.
#pragma once

#include "ShortString.h"

// One tab for every tab anywhere in `s`.
ShortString GetTabIndent(const ShortString& s);
// The text after the last `delimiter`; empty when there is none or it is last.
ShortString GetStringSuffix(const ShortString& s, char32_t delimiter);
// `s` without its last delimiter and what follows, when there is a suffix
// (a file name without its extension); otherwise `s` unchanged.
ShortString SliceStringSuffix(const ShortString& s, char32_t delimiter);
// `s` without the characters at positions `first` to `last` (inclusive).
ShortString SliceString(const ShortString& s, int first, int last);
// The characters at positions `first` to `last` (inclusive); empty when
// `last` is below `first`. Positions outside the text are cut to it.
ShortString GetStringRange(const ShortString& s, int first, int last);
// Appends `c` when it fits; otherwise the character is dropped.
void AppendStringCharacter(ShortString& s, char32_t c);
