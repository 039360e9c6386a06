// SeaToJson / SeaFromJson: one sea as a JSON document and back, for tools and
// services that exchange settings as JSON (the `sea` tool's export and import
// --json). Part of the optional companion library kelvaro_json; the core
// library does not depend on it.
//
// The document is an object with one member, "entries": the sea's lines in
// their order, each one of
//   {"comment": "; text"}                  a comment line, as written
//   {"name": "width", "values": ["640", "480"]}
//   {"name": "colors", "lines": [["red", "255", "0", "0"], {"comment": "; x"}]}
// Values are strings, as the sea holds them (after its stand-ins are read:
// '§' comes as '"'; '¶' and '¬' stay as they are). A list is an array of its
// lines: each a non-empty array of values, or a comment line inside the list
// (any comment or blank line). Outside lists a comment is carried when it is
// '; ' and text, the form a sea writes a new comment line in; blank lines and
// other comments there (';' alone, ';x') are left out. Nor are carried: the
// spacing of a line, its line end, a continued list block (it comes as part
// of its list), the closing line's text, the file's encoding. A document made
// by SeaToJson reads back with SeaFromJson into a sea that gives the same
// document again.
#pragma once

#include <string>

#include "kelvaro/platform/CString.h"

class CResourceSea;

// The lines of `sea` as a JSON document in UTF-8, indented by two blanks and
// ended by a line feed. A comment is the text of its line; a line the sea kept
// as a comment because it did not read (a bad line) comes as such a comment
// too, or is left out. False, with `error` naming the entry,
// when a list line cannot be rebuilt (more than 4095 characters).
bool SeaToJson(const CResourceSea& sea, std::string& json, CString& error);

// Appends the lines `json` (UTF-8) describes to `sea`, which should be empty
// (an entry already there of a name the document gives is an error). False,
// with `error` saying what and where ("entries[3].values[1]: ..."), when the
// text is not JSON, does not follow the mapping (an unknown member, a number
// where a string belongs, a name given twice), or holds what the sea could not
// write so that it reads back as given: a name `sea set` refuses, a value with
// a line end or '§', a comment that is not blank and does not start with ';',
// a comment outside a list not of the form above, a line longer than a sea
// line can be. The sea is then left part-filled; the
// caller throws it away.
bool SeaFromJson(const std::string& json, CResourceSea& sea, CString& error);
