// One program: its name, the stored value of every parameter, sixteen patterns and, beside each
// pattern, the values of the parameters that belong to a pattern rather than to the program.
#pragma once

#include "BrakkaSequencer.h"

#include <algorithm>
#include <utility>
#include <vector>

// A pattern's values by tag, in ascending tag order, in one piece of memory: a pattern start
// walks all of them on the audio thread, where following the nodes of a tree through a cold
// cache cost about 0.1 us a value. Looking up and changing a tag that is present never
// allocates; operator[] adds a missing tag in its place.
class BrakkaPatternValues {
public:
    using Entry = std::pair<unsigned int, float>;
    using iterator = std::vector<Entry>::iterator;
    using const_iterator = std::vector<Entry>::const_iterator;

    iterator begin() { return entries.begin(); }
    iterator end() { return entries.end(); }
    const_iterator begin() const { return entries.begin(); }
    const_iterator end() const { return entries.end(); }
    size_t size() const { return entries.size(); }
    void clear() { entries.clear(); }

    iterator find(unsigned int tag) {
        const iterator at = lowerBound(tag);
        return at != entries.end() && at->first == tag ? at : entries.end();
    }
    float& operator[](unsigned int tag) {
        iterator at = lowerBound(tag);
        if (at == entries.end() || at->first != tag) at = entries.insert(at, Entry(tag, 0.0f));
        return at->second;
    }

private:
    iterator lowerBound(unsigned int tag) {
        return std::lower_bound(entries.begin(), entries.end(), tag,
                                [](const Entry& e, unsigned int t) { return e.first < t; });
    }
    std::vector<Entry> entries;
};

struct BrakkaProgram {
    static constexpr int kNameSize = 24;

    BrakkaProgram();

    char name[kNameSize];
    float values[kNumParameters];
    BrakkaSequencer patterns[kNumPatterns];
    // Per pattern: pattern tag -> normalized value.
    BrakkaPatternValues patternValues[kNumPatterns];
};
