// The keyed dictionary that the pattern import (private host opcode 34567) reads: byte blocks
// under "Pattern %d" and 32-bit floats under "S%dT%ld". The host passes, in the opcode's ptr
// argument, the address of a pointer to one of these.
#pragma once

#include <map>
#include <string>
#include <vector>

struct BrakkaPatternDictionary {
    std::map<std::string, std::vector<char>> blocks;
    std::map<std::string, float> numbers;
};
