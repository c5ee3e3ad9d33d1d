// Text cutting by position, as catalogue entries and their list items are cut: finding from a
// position, taking text with clamped positions, white-space trimming and number conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnhollow::catalogue_text {

using Pos = std::ptrdiff_t;

// First position at or after `from` where `what` starts, or -1.
Pos Find(std::string_view text, std::string_view what, Pos from);

// Last position of `ch`, or -1.
Pos FindLast(std::string_view text, char ch);

// The text from `first` to the end; a negative position counts as 0.
std::string_view Mid(std::string_view text, Pos first);

// At most `count` characters from `first`; a negative position counts as 0, a negative count
// gives an empty text, a count beyond the end stops at the end.
std::string_view Mid(std::string_view text, Pos first, Pos count);

// Space, tab, line feed, vertical tab, form feed and carriage return.
bool IsWhiteSpace(char ch);

std::string_view Trim(std::string_view text);

// Deletes every occurrence of `what`, in one pass from the left (occurrences do not overlap and
// a deletion does not join characters into a new occurrence that is deleted too).
std::string DeleteAll(std::string_view text, std::string_view what);

// Decimal number: leading white space skipped, an optional sign, then digits up to the first
// other character; no digits give 0.  Values beyond 32 bits saturate at the nearest limit.
int32_t ToNumber(std::string_view text);

// The size a ROM database item ("name %size") records: the text after its last "%" (all of
// it without a "%"), trimmed, cut to at most 11 characters and converted.
int32_t RomItemSize(std::string_view item);

// `value` clamped to the 32-bit signed range.
int32_t Saturate(int64_t value);

} // namespace tarnhollow::catalogue_text
