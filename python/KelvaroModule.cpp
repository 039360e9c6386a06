// The Python module `kelvaro`: a sea file (or one section of a shared file)
// read into a CResourceSea, its values read with fallbacks, changed and saved
// back with the library's promise: every untouched byte stays, or the save is
// refused and the file left as it was. It writes nothing that would not read
// back as given, refusing what the sea tool refuses. Every failure is a
// kelvaro.SeaError that names the file and, where there is one, the line.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kelvaro/Kelvaro.h"

namespace py = pybind11;

namespace {

// ---- errors ------------------------------------------------------------------

// kelvaro.SeaError, made when the module is imported. A handle, never
// released: an object would be released after the interpreter is gone.
py::handle g_seaError;

// Raises kelvaro.SeaError with `file`, `line` (None when the problem has no
// line) and `message` as attributes; str() gives "file:line: message".
[[noreturn]] void Raise(const std::wstring& file, int line, const std::wstring& message) {
    std::wstring text = file + L":";
    if (line > 0) text += std::to_wstring(line) + L":";
    text += L" " + message;
    py::object error = g_seaError(text);
    error.attr("file") = file;
    error.attr("line") = line > 0 ? py::object(py::int_(line)) : py::object(py::none());
    error.attr("message") = message;
    PyErr_SetObject(g_seaError.ptr(), error.ptr());
    throw py::error_already_set();
}

// KeyError(name), as a dict gives for a missing key.
[[noreturn]] void RaiseMissing(const std::wstring& name) {
    PyErr_SetObject(PyExc_KeyError, py::cast(name).ptr());
    throw py::error_already_set();
}

// Keeps the library's report texts off the terminal while it lives: Python
// callers get them as data (the sea's problems) and as exceptions.
using Quiet = PrWin::ScopedOutputHandler;

// One problem the reader reported.
struct Problem {
    std::wstring file;
    int line = 0;
    std::wstring message;
};

// ---- what is written must read back ---------------------------------------

// Why `entry`, rebuilt as a save writes it, would not read back as the same
// name with the same values; empty when it would.
std::wstring ReadBackProblem(const CResourceEntry& entry, const std::vector<std::pair<unsigned, std::wstring>>& given) {
    return entry.ReadBackProblem(given).Str();
}

// Why `text` cannot be written as one list line (indented with a tab).
std::wstring ListLineProblem(const std::wstring& text) {
    const CString problem = CResourceEntry::ListLineProblem(text.c_str());
    return problem.IsEmpty() ? std::wstring() : L"the text " + problem.Str();
}

// ---- the sea ------------------------------------------------------------------

class Sea {
public:
    Sea(const std::wstring& path, std::optional<std::wstring> section, bool create)
        : m_path(path), m_section(std::move(section)) {
        if (m_section && (m_section->empty() || m_section->find_first_of(L"\r\n") != std::wstring::npos))
            Raise(m_path, 0, L"a section needs a name that is not empty and holds no line end");
        const bool exists = FileIO::FileExists(m_path.c_str());
        // A section lives in a file that holds it; none is made.
        if (!exists && (!create || m_section)) Raise(m_path, 0, L"no such file");
        Quiet quiet;
        if (m_section) {
            m_sea.SetSeaName(CString(*m_section));
            m_sea.SetFileSection(true);
        }
        const bool opened = m_sea.Create(m_path.c_str(), false);
        TakeProblems();
        if (!opened)
            Raise(m_path, 0, m_problems.empty() ? L"cannot be read" : L"cannot be read: " + m_problems.front().message);
        if (m_section && m_sea.NrLines() == 0 && !HasSection())
            Raise(m_path, 0, L"has no section '" + *m_section + L"'");
    }

    const std::wstring& Path() const { return m_path; }
    const std::optional<std::wstring>& Section() const { return m_section; }
    const std::vector<Problem>& Problems() const { return m_problems; }
    unsigned CodePage() const { return m_sea.FileCodePage(); }

    // The named entries in line order.
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (unsigned i = 0; i < m_sea.NrLines(); ++i) {
            const CResourceEntry& line = *m_sea.LineAt(i);
            if (!line.IsComment() && !line.Name().IsEmpty()) names.push_back(line.Name().Str());
        }
        return names;
    }

    bool Has(const std::wstring& name) const { return Find(name) != nullptr; }

    bool IsList(const std::wstring& name) const { return Entry(name).IsListEntry(); }

    std::vector<std::wstring> Values(const std::wstring& name) const {
        const CResourceEntry& entry = Entry(name);
        std::vector<std::wstring> values;
        for (unsigned i = 0; i < entry.NValues(); ++i) values.push_back(entry.GetString(i).Str());
        return values;
    }

    // Typed reads with a fallback for a missing entry or value. They go
    // through the entry's readers, not the sea's fallback readers: those
    // append the fallback to an entry one value short, which a save would
    // then write, and a read must never change the file.
    template <class T, T (CResourceEntry::*read)(unsigned) const>
    T Get(const std::wstring& name, unsigned index, T fallback) const {
        const CResourceEntry* entry = Find(name);
        return entry != nullptr && index < entry->NValues() ? (entry->*read)(index) : fallback;
    }
    py::object GetString(const std::wstring& name, unsigned index, py::object fallback) const {
        const CResourceEntry* entry = Find(name);
        if (entry == nullptr || index >= entry->NValues()) return fallback;
        return py::cast(entry->GetString(index).Str());
    }

    // The lines of a list, comment lines left out: their text, or their values.
    std::vector<std::wstring> Lines(const std::wstring& name) {
        std::vector<std::wstring> lines;
        ForEachListLine(name, [&](const CResourceEntry& line) {
            CString text;
            line.GetLine(text);
            lines.push_back(text.Str());
        });
        return lines;
    }
    std::vector<std::vector<std::wstring>> Rows(const std::wstring& name) {
        std::vector<std::vector<std::wstring>> rows;
        ForEachListLine(name, [&](const CResourceEntry& line) {
            std::vector<std::wstring>& row = rows.emplace_back();
            for (unsigned i = 0; i < line.NValues(); ++i) row.push_back(line.GetString(i).Str());
        });
        return rows;
    }

    // The values of `name` (created at the end when missing), or value `index`
    // only. Refused, with the sea unchanged, when the result would not read
    // back as given: each value stays one value, a line end in it is kept as
    // its stand-in.
    void Set(const std::wstring& name, const std::vector<std::wstring>& values, std::optional<unsigned> index) {
        CheckName(name);
        const CResourceEntry* present = Find(name);
        if (present != nullptr && present->IsListEntry())
            Raise(m_path, LineOf(name), L"'" + name + L"' is a list; use add_line");
        if (index && values.size() != 1) throw py::value_error("set with index= takes exactly one value");
        if (!index && values.empty()) throw py::value_error("set needs at least one value");
        const unsigned count = present == nullptr ? 0 : present->NValues();
        if (index && *index > count)
            Raise(m_path, LineOf(name), L"'" + name + L"' has " + std::to_wstring(count) +
                                            L" value(s); index may be at most " + std::to_wstring(count));
        std::vector<std::pair<unsigned, std::wstring>> given;
        if (index) given.emplace_back(*index, values[0]);
        else
            for (std::size_t i = 0; i < values.size(); ++i) given.emplace_back(static_cast<unsigned>(i), values[i]);
        // The change is tried on a copy first, so that a refusal leaves the sea as it was.
        std::unique_ptr<CResourceEntry> probe =
            present != nullptr && index ? std::make_unique<CResourceEntry>(*present)
                                        : std::make_unique<CResourceEntry>(nullptr, 0, name.c_str());
        std::wstring problem;
        try {
            for (const auto& [at, text] : given) probe->SetText(text.c_str(), at);
            problem = ReadBackProblem(*probe, given);
        } catch (const CResourceSeaException& e) {
            problem = e.m_message.Str();
        }
        if (!problem.empty()) Raise(m_path, present != nullptr ? LineOf(name) : 0, L"set '" + name + L"': " + problem);
        if (!index) m_sea.SetLine(name.c_str(), L"");
        for (const auto& [at, text] : given) m_sea.LookupSetString(name.c_str(), text.c_str(), at);
    }

    // Appends `text` as a line of list `name` (created when missing).
    void AddLine(const std::wstring& name, const std::wstring& text) {
        CheckName(name);
        if (const std::wstring problem = ListLineProblem(text); !problem.empty())
            Raise(m_path, 0, L"add_line '" + name + L"': " + problem);
        const CResourceEntry* present = Find(name);
        if (present != nullptr && !present->IsListEntry())
            Raise(m_path, LineOf(name), L"'" + name + L"' is not a list");
        try {
            // Indented, as the sea writer writes list lines.
            m_sea.AddListLine(name.c_str(), (L"\t" + text).c_str());
        } catch (const CResourceSeaException& e) {
            Raise(m_path, 0, L"add_line '" + name + L"': " + e.m_message.Str());
        }
    }

    void Delete(const std::wstring& name) {
        if (Find(name) == nullptr || m_sea.Delete(name.c_str()) == 0) RaiseMissing(name);
    }

    // Writes the sea's part of the file; every other byte stays. A file whose
    // reading reported problems is refused: writing it would make the
    // reader's repairs permanent.
    void Save() {
        if (!m_problems.empty())
            Raise(m_path, m_problems.front().line,
                  L"not saved: reading reported problems (" + m_problems.front().message + L"); the file was left as it was");
        Quiet quiet;
        if (m_sea.UpdateIfPossible()) return;
        const kelvaro::SeaProblems& refused = m_sea.Problems();
        const int line = refused.empty() ? 0 : refused.front().line;
        std::wstring why = refused.empty() ? m_sea.WriteError().Str() : refused.front().message;
        if (why.empty()) why = FileIO::GetLastErrorMessage(FileIO::GetLastError()).Str();
        // "line 7 holds ..." reads "holds ..." once the line is the error's own.
        const std::wstring own = L"line " + std::to_wstring(line) + L" ";
        if (line > 0 && why.starts_with(own)) why.erase(0, own.size());
        Raise(m_path, line, L"not saved: " + why + L"; the file was left as it was");
    }

    // Reads the file again, keeping what the program changed unless
    // `keepChanges` is false: after a save refused because another writer
    // saved the file meanwhile, reload() then save() keeps both.
    void Reload(bool keepChanges) {
        Quiet quiet;
        const bool read = m_sea.ReloadFileBase(!keepChanges);
        m_problems.clear();
        TakeProblems();
        if (!read) Raise(m_path, 0, L"cannot be read again");
    }

private:
    const CResourceEntry* Find(const std::wstring& name) const {
        const CResourceEntry* entry = m_sea.FindEntry(name.c_str());
        return entry != nullptr && !entry->IsComment() ? entry : nullptr;
    }
    const CResourceEntry& Entry(const std::wstring& name) const {
        const CResourceEntry* entry = Find(name);
        if (entry == nullptr) RaiseMissing(name);
        return *entry;
    }

    void TakeProblems() {
        for (const kelvaro::SeaProblem& problem : m_sea.Problems())
            m_problems.push_back({problem.source, problem.line,
                                  problem.text.empty() ? problem.message : problem.message + L": " + problem.text});
    }

    void CheckName(const std::wstring& name) const {
        if (name.empty()) Raise(m_path, 0, L"the name is empty");
        const CString problem = CResourceEntry::NameProblem(name.c_str());
        if (!problem.IsEmpty()) Raise(m_path, 0, L"'" + name + L"' " + problem.Str());
    }

    template <class Visit>
    void ForEachListLine(const std::wstring& name, Visit&& visit) {
        if (!IsList(name)) Raise(m_path, LineOf(name), L"'" + name + L"' is not a list");
        CResourceList list(static_cast<const CResourceSea*>(&m_sea), name.c_str());
        try {
            for (bool more = list.GotoHead(); more; more = list.GotoNext()) visit(*list.GetCurrentLine());
        } catch (const CResourceSeaException& e) {
            Raise(m_path, LineOf(name), L"'" + name + L"' cannot be shown: " + e.m_message.Str());
        }
    }

    bool HasSection() const { return CResourceSea::FileHasSection(m_path.c_str(), m_section->c_str()); }
    int LineOf(const std::wstring& name) const { return m_sea.LineOf(name.c_str()); }

    std::wstring m_path;
    std::optional<std::wstring> m_section;
    CResourceSea m_sea;
    std::vector<Problem> m_problems;
};

std::wstring PathText(const py::object& path) {
    return py::module_::import("os").attr("fspath")(path).cast<std::wstring>();
}

}  // namespace

PYBIND11_MODULE(kelvaro, m) {
    m.doc() = "Sea files read, changed and saved byte for byte through the Kelvaro library.";
    g_seaError = py::handle(PyErr_NewExceptionWithDoc(
        "kelvaro.SeaError", "A sea file that cannot be read, changed or saved; has file, line (or None) and message.",
        PyExc_Exception, nullptr));
    if (!g_seaError) throw py::error_already_set();
    m.attr("SeaError") = g_seaError;
    // A library exception no method turned into a located error still arrives as a SeaError.
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const CResourceSeaException& e) {
            py::object error = g_seaError(e.m_message.Str());
            error.attr("file") = py::none();
            error.attr("line") = py::none();
            error.attr("message") = e.m_message.Str();
            PyErr_SetObject(g_seaError.ptr(), error.ptr());
        }
    });

    py::class_<Problem>(m, "Problem", "A problem the reader reported: file, line (0 when none) and message.")
        .def_readonly("file", &Problem::file)
        .def_readonly("line", &Problem::line)
        .def_readonly("message", &Problem::message)
        .def("__str__", [](const Problem& p) {
            return p.file + L":" + (p.line > 0 ? std::to_wstring(p.line) + L":" : L"") + L" " + p.message;
        })
        .def("__repr__", [](const Problem& p) {
            return L"<kelvaro.Problem " + p.file + L":" + std::to_wstring(p.line) + L" " + p.message + L">";
        });

    py::class_<Sea>(m, "Sea", "One sea file, or one section of a shared file.")
        .def(py::init([](const py::object& path, std::optional<std::wstring> section, bool create) {
                 return std::make_unique<Sea>(PathText(path), std::move(section), create);
             }),
             py::arg("path"), py::arg("section") = py::none(), py::arg("create") = false,
             "Reads the file (its section `section`). A missing file is an error unless create=True, "
             "which makes it at once, empty "
             "(never for a section); a missing section is an error.")
        .def_property_readonly("path", &Sea::Path)
        .def_property_readonly("section", &Sea::Section)
        .def_property_readonly("problems", &Sea::Problems, "What reading reported; a sea with problems is not saved.")
        .def_property_readonly("code_page", &Sea::CodePage,
                               "The encoding a save keeps: 1200, 1201 (UTF-16), 65001 (UTF-8) or 1252.")
        .def("names", &Sea::Names, "The named entries in line order.")
        .def("__iter__", [](const Sea& sea) { return py::iter(py::cast(sea.Names())); })
        .def("__len__", [](const Sea& sea) { return sea.Names().size(); })
        .def("__contains__", &Sea::Has)
        .def("is_list", &Sea::IsList, py::arg("name"))
        .def("values", &Sea::Values, py::arg("name"), "The values of an entry; KeyError when missing.")
        .def("get", &Sea::GetString, py::arg("name"), py::arg("index") = 0, py::arg("fallback") = py::none(),
             "Value `index` as text, or `fallback` when the entry or value is missing.")
        .def("get_int", &Sea::Get<int, &CResourceEntry::GetInt>, py::arg("name"), py::arg("index") = 0,
             py::arg("fallback") = 0)
        .def("get_float", &Sea::Get<double, &CResourceEntry::GetDouble>, py::arg("name"), py::arg("index") = 0,
             py::arg("fallback") = 0.0)
        .def("get_bool", &Sea::Get<bool, &CResourceEntry::GetBool>, py::arg("name"), py::arg("index") = 0,
             py::arg("fallback") = false)
        .def("lines", &Sea::Lines, py::arg("name"), "The text of each line of a list, comment lines left out.")
        .def("rows", &Sea::Rows, py::arg("name"), "The values of each line of a list, comment lines left out.")
        .def(
            "set",
            [](Sea& sea, const std::wstring& name, const py::args& values, std::optional<unsigned> index) {
                std::vector<std::wstring> texts;
                // True and False as the library writes a bool, which get_bool reads back.
                for (const py::handle value : values)
                    texts.push_back(py::isinstance<py::bool_>(value) ? (value.cast<bool>() ? L"1" : L"0")
                                                                      : py::str(value).cast<std::wstring>());
                sea.Set(name, texts, index);
            },
            py::arg("name"), py::arg("index") = py::none(),
            "set(name, *values): the entry's values (each as str(), a bool as 1 or 0); "
            "set(name, value, index=N): value N only.")
        .def("add_line", &Sea::AddLine, py::arg("name"), py::arg("text"), "Appends a line to a list.")
        .def("delete", &Sea::Delete, py::arg("name"), "Removes an entry (a list with its lines); KeyError when missing.")
        .def("reload", &Sea::Reload, py::arg("keep_changes") = true,
             "Reads the file again, keeping the program's changes unless keep_changes=False.")
        .def("save", &Sea::Save, "Writes the changes; the file is replaced whole or left as it was.");
}
