// The live table of learnt MIDI controller bindings (controller -> parameter tag).
//
// It keeps the order of a std::multimap<char, int>: ascending controller number, and within
// one controller the order in which the bindings were added. Unlike the multimap it never
// allocates: the entries live in a fixed array sized at construction, so a learn completed on
// the audio thread can add a binding there. Conversion to and from std::multimap (the form the
// assignments file code takes) allocates and belongs to other threads.
#pragma once

#include <cstring>
#include <map>

class BrakkaLearnMap {
public:
    // Far more bindings than anyone makes (and than a 4096-byte file can hold).
    static constexpr int kCapacity = 2048;

    struct Binding {
        char controller;
        int tag;
    };

    int size() const { return count; }
    bool empty() const { return count == 0; }
    const Binding& operator[](int i) const { return entries[i]; }

    // Adds a binding after the existing ones of its controller. False (nothing changes) when
    // the table is full.
    bool insert(char controller, int tag) {
        if (count >= kCapacity) return false;
        const int at = upperBound(controller);
        std::memmove(&entries[at + 1], &entries[at], sizeof(Binding) * (size_t)(count - at));
        entries[at] = {controller, tag};
        ++count;
        return true;
    }

    // Removes the first binding (controller -> tag), if any; true when one was removed.
    bool eraseFirst(char controller, int tag) {
        for (int i = lowerBound(controller); i < count && entries[i].controller == controller;
             ++i) {
            if (entries[i].tag == tag) {
                eraseAt(i);
                return true;
            }
        }
        return false;
    }

    // Removes every binding of tag, whatever its controller; returns how many.
    int eraseTag(int tag) {
        int kept = 0;
        for (int i = 0; i < count; ++i)
            if (entries[i].tag != tag) entries[kept++] = entries[i];
        const int removed = count - kept;
        count = kept;
        return removed;
    }

    // Calls f(tag) for every binding of controller, in order.
    template <class F>
    void forEachTagOf(char controller, F f) const {
        for (int i = lowerBound(controller); i < count && entries[i].controller == controller; ++i)
            f(entries[i].tag);
    }

    void clear() { count = 0; }

    // Copies the first kCapacity bindings of map, in its order.
    void assign(const std::multimap<char, int>& map) {
        count = 0;
        for (const auto& entry : map) {
            if (count >= kCapacity) break;
            entries[count++] = {entry.first, entry.second};
        }
    }

    std::multimap<char, int> toMultimap() const {
        std::multimap<char, int> map;
        for (int i = 0; i < count; ++i)
            map.emplace_hint(map.end(), entries[i].controller, entries[i].tag);
        return map;
    }

    // Copies only the entries in use.
    void copyFrom(const BrakkaLearnMap& other) {
        count = other.count;
        std::memcpy(entries, other.entries, sizeof(Binding) * (size_t)count);
    }

private:
    // First entry whose controller is not below c, and first entry whose controller is above c.
    int lowerBound(char c) const {
        int lo = 0, hi = count;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (entries[mid].controller < c)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }
    int upperBound(char c) const {
        int lo = 0, hi = count;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (!(c < entries[mid].controller))
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }
    void eraseAt(int i) {
        std::memmove(&entries[i], &entries[i + 1], sizeof(Binding) * (size_t)(count - i - 1));
        --count;
    }

    Binding entries[kCapacity];
    int count = 0;
};
