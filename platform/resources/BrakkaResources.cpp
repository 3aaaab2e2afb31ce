#include "BrakkaResources.h"

#include <cstring>

bool brakkaFindResource(const char* name, const char* type, const unsigned char** data,
                        size_t* size) {
    if (data) *data = nullptr;
    if (size) *size = 0;
    if (!name || !type) return false;
    for (const BrakkaResourceEntry* e = gBrakkaResourceEntries; e->name; ++e) {
        if (std::strcmp(e->name, name) == 0 && std::strcmp(e->type, type) == 0) {
            if (data) *data = e->data;
            if (size) *size = e->size;
            return true;
        }
    }
    return false;
}

const char* brakkaResourceInfo(const char* key) {
    if (!key) return nullptr;
    for (const BrakkaResourceInfo* i = gBrakkaResourceInfo; i->key; ++i)
        if (std::strcmp(i->key, key) == 0) return i->value;
    return nullptr;
}
