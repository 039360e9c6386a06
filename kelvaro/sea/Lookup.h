// Kelvaro: the two small enumerations of the lookup family of CResourceSea.
// A mode says what a lookup by name does when the entry is missing or present;
// a result says what happened. Modules pass and test these values directly.
#pragma once

namespace lookup {

// What a mode-driven lookup does. Other values are accepted: the typed lookups
// treat them like read, the format-string lookup like "write if present".
enum mode : int {
    read = 1,          // missing: create, then read (the caller's value becomes the default)
    write = 2,         // create when missing, then write the caller's value
    readExisting = 3,  // read only when present; never creates
    remove = 7         // delete the entry and its line when present
};

// What a lookup did.
enum result : int {
    notFound = 0,  // name not in the sea, nothing created
    found = 1,     // an existing entry was used (or deleted)
    created = 2    // a new entry was created
};

}  // namespace lookup
