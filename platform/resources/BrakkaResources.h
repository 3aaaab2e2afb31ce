// The plug-in's embedded resources: files built into the library, looked up by name and
// type, and a small table of information strings (key -> string).
#pragma once

#include <cstddef>

struct BrakkaResourceEntry {
    const char* name;
    const char* type;
    const unsigned char* data;
    size_t size;
};

struct BrakkaResourceInfo {
    const char* key;
    const char* value;
};

// Both tables end with an entry whose first field is null (generated at build time).
extern const BrakkaResourceEntry gBrakkaResourceEntries[];
extern const BrakkaResourceInfo gBrakkaResourceInfo[];

// The bytes of resource (name, type). Returns false, with data null and size 0, when there
// is no such resource or an argument is null.
bool brakkaFindResource(const char* name, const char* type, const unsigned char** data,
                        size_t* size);

// The string stored under key, or null.
const char* brakkaResourceInfo(const char* key);
