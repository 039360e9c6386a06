// Kelvaro: the problems a sea meets reading or writing its file, as data.
// Every problem also goes to the output handler as one text with the library's
// category, as it always has; the style tells reading problems from
// write-back failures. Programs that want the file and line read Problems().
#pragma once

#include <string>
#include <vector>

namespace kelvaro {

struct SeaProblem {
    enum class Kind {
        NotFound,     // the file does not exist
        NotOpened,    // it exists but cannot be opened (or created)
        LineTooLong,  // a line over the line limit; the rest of it is kept
        Undecodable,  // bytes that do not decode; the line is kept as it was
        Syntax,       // a line the parser could not read; kept as a comment
        Duplicate,    // a second entry of a name read before; kept as a comment
        ListSyntax,   // a list block that does not read as one
        NameRefused,  // a table row whose name would not read back as itself
        InputData,    // an entry that cannot take the line; reading stopped
        WriteBack,    // a save that was refused; the file is as it was
    };
    Kind kind = Kind::Syntax;
    std::wstring source;   // the file, or "NAME Sea" for a table
    int line = 0;          // the line of the file (the row of a table); 0 when none
    std::wstring message;  // one line: what is wrong
    std::wstring text;     // the line concerned as read, when there is one
};

using SeaProblems = std::vector<SeaProblem>;

namespace seareport {

inline constexpr unsigned kStyleReading = 3;    // syntax, duplicates, files not found or opened
inline constexpr unsigned kStyleWriteBack = 4;  // a sea file that cannot be written back

// Records `problem` in `sink` (when given) and hands the text, formatted like
// CString::Format, to PrWin::Output (category 16).
void Report(SeaProblems* sink, SeaProblem problem, unsigned style, const wchar_t* format, ...);

}  // namespace seareport
}  // namespace kelvaro
