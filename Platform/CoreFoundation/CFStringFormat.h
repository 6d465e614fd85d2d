// printf-style formatting for CFStringCreateWithFormat and friends.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

// Appends `format` with its directives filled from `arguments` to `out`.
// Understands the C conversions (d i u o x X c s p e E f F g G a A %) with
// flags, width, precision (also "*") and length modifiers (hh h l ll q L z t j),
// positional arguments ("%2$@"), "%@" for any CF value (its formatting
// description, "(null)" for nil), "%C" for a UniChar and "%S" for a
// NUL-terminated UniChar text. "%s" reads UTF-8, or Mac Roman when the bytes
// are not UTF-8.
// Widths and precisions are cut to 4096; positional indexes above 64 are
// not read.
void CFFormatAppend(std::u16string& out, std::u16string_view format, va_list arguments);

// The same for a format that comes from outside (a translation file): the
// arguments fetched are those `validFormat` reads — what the caller really
// passed — and a directive of `format` that reads an argument not among
// them, or reads it as another kind, formats as empty. Answers false, with
// one warning line, when that happened. Without `validFormat`, the same as
// CFFormatAppend.
bool CFFormatAppendValidated(std::u16string& out, std::u16string_view format, va_list arguments,
                             const std::u16string_view* validFormat);
