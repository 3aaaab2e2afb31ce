// One program: its name, the stored value of every parameter, sixteen patterns and, beside each
// pattern, the values of the parameters that belong to a pattern rather than to the program.
#pragma once

#include "BrakkaSequencer.h"

#include <map>

struct BrakkaProgram {
    static constexpr int kNameSize = 24;

    BrakkaProgram();

    char name[kNameSize];
    float values[kNumParameters];
    BrakkaSequencer patterns[kNumPatterns];
    // Per pattern: pattern tag -> normalized value.
    std::map<unsigned int, float> patternValues[kNumPatterns];
};
