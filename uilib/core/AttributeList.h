#pragma once

// The attribute-list tokenizer behind CControlUI::ApplyAttributeList and the
// image attribute parser.
//
// A list is a sequence of  name="value"  or  name='value'  pairs:
//   - blanks (space, tab, CR, LF) separate pairs; any number of them may
//     stand between pairs, before the list and after it;
//   - blanks may stand between a name and '=' and between '=' and the
//     opening quote (`hotimage ="..."`);
//   - a name is a run of bytes other than blanks, '=' and quotes;
//   - a value runs to the next quote of the kind that opened it; the other
//     kind of quote is a plain character inside it, which is how an image
//     list in single quotes sits inside a double-quoted value;
//   - there are no escapes: a backslash is a plain character, so no value
//     can hold the quote that opened it;
//   - a pair may follow a closing quote without a blank (`a="1"b="2"`).
//
// A malformed list (no '=', no opening quote, an unterminated value, a
// missing name) yields every pair before the fault, in order, and stops
// there; the pair that holds the fault is dropped whole.
//
// Lists from outside are bounded: a list longer than kMaxAttributeListBytes
// yields nothing and counts as malformed at that offset, and one with more
// than kMaxAttributePairs pairs stops after that many, malformed at the next.

#include <cstddef>
#include <string>
#include <vector>

// Far above any list of a layout or of the pages built at run time (a few
// hundred bytes, a dozen pairs).
constexpr std::size_t kMaxAttributeListBytes = 64 * 1024;
constexpr std::size_t kMaxAttributePairs = 256;

// Plain std::string pieces: the tokenizer's output is consumed at once by
// SetAttribute(name.c_str(), value.c_str()).
struct TAttribute
{
    std::string name;
    std::string value;
};

// The pairs of `list` in list order, duplicates kept. `complete` (when
// given) is set false when the list was malformed, and `faultOffset` (when
// given) to the byte offset of the fault, -1 for a sound list. A null list
// reads as the empty list.
std::vector<TAttribute> ParseAttributeList(const char* list, bool* complete = nullptr, int* faultOffset = nullptr);
