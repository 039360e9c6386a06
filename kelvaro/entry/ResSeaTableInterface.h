// CResSeaTableInterface: the abstract table a sea is exported to and imported
// from, one row per sea line with three columns (name, values, list counter).
// A module derives from it for its own table (a database table, a grid) and
// hands an object to CResourceSea::SaveToTable or CResourceSea::ReadFromTable.
//
// Row format:
//   name          the entry's name; ";" for a comment line; for the lines of a
//                 list, the list's name
//   values        the line's value part; the comment's text; for a list line
//                 its value part (a comment inside a list keeps its leading
//                 ';'); "}" for the row that closes a list
//   list counter  0 for an entry or a comment; 1, 2, 3, ... for the lines of a
//                 list, and the next number for its closing row
// A list's opening line has no row; an empty list is one closing row with counter 1.
#pragma once

class CResSeaTableInterface {
public:
    // The two row buffers get their initial capacities (512 and 8192 characters).
    CResSeaTableInterface();
    virtual ~CResSeaTableInterface();
    // The object owns its buffers; copies would have to duplicate a table
    // connection as well, so there are none.
    CResSeaTableInterface(const CResSeaTableInterface&) = delete;
    CResSeaTableInterface& operator=(const CResSeaTableInterface&) = delete;

    // ---- export ----
    // Prepares an export; false refuses it (the sea then exports nothing).
    virtual bool BeginWrite() = 0;
    // Stores one row. A table that fails to store it remembers the failure and
    // answers false from EndWrite.
    virtual void WriteTableLine(const wchar_t* name, const wchar_t* values, unsigned listCounter) = 0;
    // Finishes an export; false when the rows could not all be stored (the
    // export then counts as failed).
    virtual bool EndWrite() = 0;

    // ---- import ----
    // Prepares an import and makes the first row current; false refuses it,
    // and is also the answer for a table without rows.
    virtual bool BeginRead() = 0;
    // Makes the next row current. False when there is none, and false again on
    // every further call; the current row then stays as it was.
    virtual bool NextTableLine() = 0;
    // Finishes an import; false when reading stopped at an error rather than
    // at the last row (the import then counts as failed).
    virtual bool EndRead() = 0;

    // The current row of an import.
    const wchar_t* CurrentLineName() const { return m_lineName; }
    const wchar_t* CurrentLineVals() const { return m_lineVals; }
    unsigned CurrentLineListCounter() const { return m_listCounter; }

protected:
    // Copies a row's name and values into the row buffers, each with leading
    // white space skipped and every single quote doubled (ready to be put
    // between single quotes). Empty values are stored as " ". False, with the
    // buffers unchanged, when the name is empty or white space only. The
    // buffers grow to hold any text.
    bool PrepareLineValues(const wchar_t* name, const wchar_t* values);
    // Makes (name, values, listCounter) the current row, copied as they are;
    // null texts are stored as empty. For derived classes filling a row in
    // BeginRead and NextTableLine. The buffers grow to hold any text.
    void SetCurrentLine(const wchar_t* name, const wchar_t* values, unsigned listCounter);

    wchar_t* m_lineName;
    unsigned m_lineNameSize;  // capacity of m_lineName in characters
    wchar_t* m_lineVals;
    unsigned m_lineValsSize;  // capacity of m_lineVals in characters
    unsigned m_listCounter;

private:
    // Makes room for `need` characters (terminator included), doubling the
    // capacity; the old text is not kept. Throws std::bad_alloc beyond 32 bits.
    static void Reserve(wchar_t*& buffer, unsigned& size, unsigned long long need);
};
