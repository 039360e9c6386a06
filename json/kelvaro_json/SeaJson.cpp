// One sea as a JSON document and back. Parsing and writing JSON is
// nlohmann_json's; this file only maps sea lines to JSON values and checks
// that what it puts into a sea will read back as the document said.
#include "kelvaro_json/SeaJson.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "kelvaro/entry/ResourceEntry.h"
#include "kelvaro/entry/ValueGrammar.h"
#include "kelvaro/sea/ResourceList.h"
#include "kelvaro/sea/ResourceSea.h"
#include "kelvaro/platform/Utf.h"

namespace {

// Keys stay in the order written, so that a document reads as the sea does.
using Json = nlohmann::ordered_json;

std::string Utf8(std::wstring_view text) { return kelvaro::utf8::Encode(text); }
std::wstring Wide(const std::string& text) { return kelvaro::utf8::Decode(text); }

// A list's lines as the list holds them, each rebuilt if it was changed: the
// head's and the closing line's text are left out. Throws when a line cannot
// be rebuilt.
std::vector<std::wstring> ListLineTexts(const CResourceEntry& list) { return list.ListLineTexts(); }

// A line as the reader parses it: the one parser decides what a text means.
CResourceEntry Parsed(const std::wstring& text, unsigned status) {
    CResourceEntry probe(nullptr, status, nullptr);
    probe = text.c_str();
    return probe;
}

// A comment line outside a list can only be added as the sea writes a new
// one, "; " and its text; a list keeps the text of a comment line as given.
// So a document carries, outside lists, the comments of that form: "; " and
// text without line ends (a line's text comes without the white space at its
// ends).
bool CarriedComment(std::wstring_view text) {
    return text.size() > 2 && text.starts_with(L"; ") && text.find_first_of(L"\r\n") == std::wstring_view::npos &&
           !kelvaro::grammar::IsWhite(text.back());
}

Json ValuesOf(const CResourceEntry& entry) {
    Json values = Json::array();
    for (unsigned i = 0; i < entry.NValues(); ++i) values.push_back(Utf8(entry.GetString(i).Str()));
    return values;
}

Json LinesOf(const CResourceEntry& list) {
    Json lines = Json::array();
    for (const std::wstring& text : ListLineTexts(list)) {
        const CResourceEntry line = Parsed(text, CResourceEntry::StatusListLine);
        if (line.IsComment()) lines.push_back(Json{{"comment", Utf8(text)}});
        else lines.push_back(ValuesOf(line));
    }
    return lines;
}

// ---- reading a document ---------------------------------------------------------

// A failure to follow the mapping, with where in the document it is.
struct Refusal {
    std::string where, why;
};

const std::string& StringAt(const Json& value, const std::string& where) {
    if (!value.is_string()) throw Refusal{where, "must be a string"};
    return value.get_ref<const std::string&>();
}

// A comment must read back as a comment, with the text it was given.
std::wstring CommentText(const Json& item, const std::string& where) {
    if (item.size() != 1) throw Refusal{where, "a comment has no member but \"comment\""};
    const std::wstring text = Wide(StringAt(item.at("comment"), where + ".comment"));
    // A carriage return inside a line is text (only CR LF and LF end a line);
    // at its end it would become part of the line end.
    if (text.find(L'\n') != std::wstring::npos || text.ends_with(L'\r'))
        throw Refusal{where + ".comment", "holds a line end"};
    const auto first = std::find_if_not(text.begin(), text.end(), kelvaro::grammar::IsWhite);
    if (first != text.end() && *first != L';')
        throw Refusal{where + ".comment", "is not blank and does not start with ';'"};
    return text;
}

std::vector<std::wstring> ValueTexts(const Json& values, const std::string& where) {
    if (!values.is_array()) throw Refusal{where, "must be an array of strings"};
    std::vector<std::wstring> out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string at = where + "[" + std::to_string(i) + "]";
        std::wstring text = Wide(StringAt(values[i], at));
        if (text.find_first_of(L"\r\n") != std::wstring::npos)
            throw Refusal{at, "holds a line end, which a sea value cannot hold (write it as '\u00B6' or '\u00AC')"};
        if (text.find(kelvaro::grammar::kQuoteStandIn) != std::wstring::npos)
            throw Refusal{at, "holds '\u00A7', which a sea reads back as '\"'"};
        if (text.find(L'\0') != std::wstring::npos) throw Refusal{at, "holds a zero character"};
        out.push_back(std::move(text));
    }
    return out;
}

bool SameValues(const CResourceEntry& entry, const std::vector<std::wstring>& values) {
    if (entry.NValues() != values.size()) return false;
    for (unsigned i = 0; i < entry.NValues(); ++i)
        if (entry.GetString(i).Str() != values[i]) return false;
    return true;
}

// One line of a list in the document: a comment or its values.
struct ListLine {
    bool comment = false;
    std::wstring text;
    std::vector<std::wstring> values;
};

// Rebuilds what was stored under `name` and parses it again: the document
// is only taken when every line reads back as it said.
void CheckReadBack(const CResourceSea& sea, const std::wstring& name, const std::vector<std::wstring>* values,
                   const std::vector<ListLine>* lines, const std::string& where) {
    const CResourceEntry& entry = *sea.FindEntry(name.c_str());
    CString line;
    entry.GetLine(line);
    const std::wstring& all = line.Str();
    const CResourceEntry head = Parsed(all.substr(0, all.find(L'\n')), 0);
    if (head.IsComment() || head.Name().Str() != name || head.IsListEntry() != (lines != nullptr))
        throw Refusal{where + ".name", "would not read back as the same name"};
    if (values != nullptr && !SameValues(head, *values))
        throw Refusal{where + ".values", "would not read back as given"};
    if (lines == nullptr) return;
    const std::vector<std::wstring> texts = ListLineTexts(entry);
    if (texts.size() != lines->size()) throw Refusal{where + ".lines", "would not read back as given"};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const CResourceEntry back = Parsed(texts[i], CResourceEntry::StatusListLine);
        const ListLine& given = (*lines)[i];
        if (given.comment ? !back.IsComment() || texts[i] != given.text
                          : back.IsComment() || !SameValues(back, given.values))
            throw Refusal{where + ".lines[" + std::to_string(i) + "]",
                          "would read back as '" + Utf8(texts[i]) + "'"};
    }
}

void AddItem(CResourceSea& sea, const Json& item, const std::string& where) {
    if (!item.is_object()) throw Refusal{where, "must be an object"};
    if (item.contains("comment")) {
        const std::wstring text = CommentText(item, where);
        if (!CarriedComment(text))
            throw Refusal{where + ".comment", "is not '; ' and text, the form a comment outside a list is written in"};
        sea.AppendCommentLine(text.c_str() + 2);
        CString back;
        sea.LineAt(sea.NrLines() - 1)->GetLine(back);
        if (back.Str() != text || !Parsed(back.Str(), 0).IsComment())
            throw Refusal{where + ".comment", "would read back as '" + Utf8(back.Str()) + "'"};
        return;
    }
    for (const auto& member : item.items())
        if (member.key() != "name" && member.key() != "values" && member.key() != "lines")
            throw Refusal{where, "has an unknown member \"" + member.key() + "\""};
    if (!item.contains("name")) throw Refusal{where, "has neither \"name\" nor \"comment\""};
    if (item.contains("values") == item.contains("lines"))
        throw Refusal{where, "needs exactly one of \"values\" and \"lines\""};
    const std::wstring name = Wide(StringAt(item.at("name"), where + ".name"));
    if (name.empty()) throw Refusal{where + ".name", "is empty"};
    if (const CString problem = CResourceEntry::NameProblem(name.c_str()); !problem.IsEmpty())
        throw Refusal{where + ".name", "'" + Utf8(name) + "' " + Utf8(problem.Str())};
    if (sea.FindEntry(name.c_str()) != nullptr) throw Refusal{where + ".name", "'" + Utf8(name) + "' is given twice"};

    if (item.contains("values")) {
        const std::vector<std::wstring> values = ValueTexts(item.at("values"), where + ".values");
        sea.SetLine(name.c_str(), L"");
        for (std::size_t i = 0; i < values.size(); ++i)
            sea.LookupSetString(name.c_str(), values[i].c_str(), static_cast<unsigned>(i));
        CheckReadBack(sea, name, &values, nullptr, where);
        return;
    }
    const Json& lines = item.at("lines");
    if (!lines.is_array()) throw Refusal{where + ".lines", "must be an array"};
    std::vector<ListLine> given;
    CResourceList list(&sea, name.c_str());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string at = where + ".lines[" + std::to_string(i) + "]";
        ListLine line;
        if (lines[i].is_object() && lines[i].contains("comment")) {
            line.comment = true;
            line.text = CommentText(lines[i], at);
            sea.AddListLine(name.c_str(), line.text.c_str());
        } else {
            line.values = ValueTexts(lines[i], at);
            if (line.values.empty()) throw Refusal{at, "a list line needs at least one value"};
            CResourceEntry* added = list.AddLineTail();
            for (std::size_t v = 0; v < line.values.size(); ++v)
                added->SetText(line.values[v].c_str(), static_cast<unsigned>(v));
        }
        given.push_back(std::move(line));
    }
    CheckReadBack(sea, name, nullptr, &given, where);
}

}  // namespace

bool SeaToJson(const CResourceSea& sea, std::string& json, CString& error) {
    Json entries = Json::array();
    for (unsigned i = 0; i < sea.NrLines(); ++i) {
        const CResourceEntry& entry = *sea.LineAt(i);
        try {
            if (entry.IsComment()) {
                CString line;
                entry.GetLine(line);
                if (CarriedComment(line.Str())) entries.push_back(Json{{"comment", Utf8(line.Str())}});
            } else if (!entry.Name().IsEmpty()) {
                Json item{{"name", Utf8(entry.Name().Str())}};
                if (entry.IsListEntry()) item["lines"] = LinesOf(entry);
                else item["values"] = ValuesOf(entry);
                entries.push_back(std::move(item));
            }
        } catch (const CResourceSeaException& e) {
            error = CString(L"line " + std::to_wstring(i + 1) + L" (" + entry.Name().Str() + L"): " +
                            e.m_message.Str());
            return false;
        }
    }
    try {
        json = Json{{"entries", std::move(entries)}}.dump(2) + "\n";
    } catch (const nlohmann::json::exception& e) {
        // Text that is no UTF-8 (an unpaired surrogate) has no JSON form.
        error = CString(Wide(e.what()));
        return false;
    }
    return true;
}

bool SeaFromJson(const std::string& json, CResourceSea& sea, CString& error) {
    Json document;
    try {
        document = Json::parse(json);
    } catch (const nlohmann::json::parse_error& e) {
        std::string what = e.what();
        // Drop the library's "[json.exception.parse_error.101] " tag.
        if (const std::size_t tag = what.find("] "); what.rfind("[json.", 0) == 0 && tag != std::string::npos)
            what.erase(0, tag + 2);
        error = CString(Wide(what));
        return false;
    }
    try {
        if (!document.is_object() || !document.contains("entries") || document.size() != 1)
            throw Refusal{"the document", "must be an object with the one member \"entries\""};
        const Json& entries = document.at("entries");
        if (!entries.is_array()) throw Refusal{"entries", "must be an array"};
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::string where = "entries[" + std::to_string(i) + "]";
            try {
                AddItem(sea, entries[i], where);
            } catch (const CResourceSeaException& e) {  // a line the sea cannot build, as too long
                throw Refusal{where, Utf8(e.m_message.Str())};
            }
        }
    } catch (const Refusal& refusal) {
        error = CString(Wide(refusal.where + ": " + refusal.why));
        return false;
    }
    return true;
}
