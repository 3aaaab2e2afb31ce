// brakka-bankgen: builds the factory bank file from the readable program sources.
//
//   brakka-bankgen [--full-rows] -o BrakkaFactoryPresets.fxb 01-first.txt ... 48-last.txt
//
// Each source file holds one program; the programs are numbered in the order the files are
// given. The bank is a VST 2 bank file with an opaque chunk: a big-endian header ('CcnK',
// byte size, 'FBCh', version 1, 'ZUbk', version 1, 48 programs, 128 reserved bytes, chunk size
// at 156) and at 160 the 48 preset chunks back to back, each exactly as the plug-in writes it:
// int32 100, name[24], 263 float VST values, 16 pattern blocks, 16 x 61 pattern-tag values.
// VST values come from natural values through the parameter table and pattern blocks from the
// sequencer's own serializer, so the bytes are the plug-in's.
//
// With --full-rows every pattern block carries a (mostly neutral) modulation row for every
// modulatable tag, as the plug-in writes it after loading a chunk; without it only the rows a
// pattern uses are stored, which loads to the same state in a bank about a seventh the size.
//
// Source format (one statement a line, '#' starts a comment outside quotes):
//
//   program "Name"                      first statement; at most 23 characters
//   Kickdrum Tune = 52                  program setting: long parameter name = natural value
//   pattern 1 "Main"                    starts pattern 1..16 (the label is for the reader)
//   pattern 2 from 1 "Main + fill"      starts pattern 2 as a copy of an earlier pattern
//   Pattern Step Size = 1 x 16          pattern setting (pattern parameters only)
//   KD x...x...x...x...                 step row of a voice, one character per step
//   mod Kickdrum Tune: . . +20 -10 ...  per-step modulation, percent of the parameter's range
//   mod Closed High Hat Pan: random     modulation row refilled at random every loop
//   random velocities: CH OH            velocity rows refilled at random every loop
//
// Program settings of pattern parameters (step size, selected/random beats, random size,
// random velocity, random reset) are the defaults of every pattern of the program.
// Values are numbers in the parameter's unit or, where the plug-in shows words, those words:
// step sizes "1 x 32" "2 x 16" "1 x 16T" "1 x 16" "1 x 8T", random sizes "1/32" .. "1/2",
// sync "HOST" "INT" "MIDI", outputs "A" .. "F", switches "On" / "Off", pattern "1" .. "16";
// pans 0..1 or "C", "L30", "R45" (percent of the way to the side).
// Voices: KD S8 S9 LT MT HT CH OH CY RS CL CB. Step characters: '.' '-' '_' off; 'x' on at
// velocity 0.75; 'X' accent (1.0); 'o' ghost (0.45); '1'..'9' on at velocity n/9. Blanks and '|'
// inside a row are ignored; a row holds exactly one character per step of the pattern.
//
// Any error is reported as file:line: message, and the program exits with status 1 without
// writing anything.

#include "BrakkaParameterManager.h"
#include "BrakkaSequencer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float kOffVelocity = 0.7f; // a fresh pattern's velocity
// Rows are named by the voice codes of the sequencer parameters.
const char* const* const kVoiceCodes = BrakkaParameterManager::kSequencerPrefix;

struct Pattern {
    bool defined = false;
    bool rowsGiven = false; // a row of this pattern's own text was read
    unsigned char notes[kNumVoices][kNumSteps] = {};
    float velocities[kNumVoices][kNumSteps];
    bool velocityRandom[kNumVoices] = {};
    std::map<unsigned, std::vector<float>> modRows; // tag -> 32 values
    std::map<unsigned, bool> modRandom;
    std::map<unsigned, float> values; // pattern tag -> VST value
    Pattern() {
        for (auto& row : velocities)
            std::fill(row, row + kNumSteps, kOffVelocity);
    }
};

struct Program {
    std::string name;
    float values[kNumParameters];
    Pattern patterns[kNumPatterns];
};

class Builder {
public:
    explicit Builder(bool fullRows) : fullRows(fullRows) {
        for (long tag = 0; tag < kNumParameters; ++tag) {
            defaults[tag] = pm.getVSTvalue(tag);
            if (!nameToTag.emplace(normalize(pm.getName(tag)), tag).second) {
                std::fprintf(stderr, "brakka-bankgen: two parameters are named \"%s\"\n",
                             pm.getName(tag).c_str());
                std::exit(1);
            }
        }
    }

    bool parseFile(const std::string& file, Program& program);
    std::vector<char> bank(const std::vector<Program>& programs);
    int errorCount() const { return errors; }

private:
    void error(const std::string& message) {
        std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, message.c_str());
        ++errors;
    }
    static std::string normalize(const std::string& s);
    bool parseValue(long tag, const std::string& text, float& vst);
    bool parseSetting(const std::string& statement, Program& program, Pattern* pattern);
    bool parsePatternHeader(const std::string& rest, Program& program, int& current);
    bool parseRow(int voice, const std::string& text, Pattern& pattern);
    bool parseMod(const std::string& rest, Pattern& pattern);
    bool parseRandomVelocities(const std::string& rest, Pattern& pattern);
    int patternLength(const Pattern& pattern);
    void appendPresetChunk(const Program& program, std::vector<char>& out);

    BrakkaParameterManager pm;
    bool fullRows;
    float defaults[kNumParameters];
    std::map<std::string, long> nameToTag;
    std::string file;
    int line = 0;
    int errors = 0;
};

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Lower case with every run of blanks made one blank: names and words compare loosely.
std::string Builder::normalize(const std::string& s) {
    std::string out;
    for (char c : trim(s)) {
        if (c == ' ' || c == '\t') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

// Text without any blanks, lower case: "1 x 16T" matches "1x16t".
std::string squeeze(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t')
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool parseNumber(const std::string& text, double& value) {
    std::string t = trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(t.c_str(), &end);
    return errno == 0 && end == t.c_str() + t.size() && std::isfinite(value);
}

// Removes the comment (from a '#' outside quotes) of a line.
std::string stripComment(const std::string& s) {
    bool quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '"') quoted = !quoted;
        if (s[i] == '#' && !quoted) return s.substr(0, i);
    }
    return s;
}

// Reads an optional quoted label at the start of text; false when the quotes are unbalanced.
bool takeQuoted(std::string& text, std::string& quoted, bool& found) {
    text = trim(text);
    found = false;
    if (text.empty() || text[0] != '"') return true;
    size_t close = text.find('"', 1);
    if (close == std::string::npos) return false;
    quoted = text.substr(1, close - 1);
    text = trim(text.substr(close + 1));
    found = true;
    return true;
}

int voiceOfCode(const std::string& code) {
    for (int v = 0; v < kNumVoices; ++v)
        if (code == kVoiceCodes[v]) return v;
    return -1;
}

bool Builder::parseValue(long tag, const std::string& rawText, float& vst) {
    const std::string text = trim(rawText);
    const std::string word = squeeze(text);
    const zu_paramTypes type = pm.getType(tag);
    const float lo = pm.getMinimumValue(tag), hi = pm.getMaximumValue(tag);
    double n = 0.0;
    bool isIndex = false; // a choice whose natural value must come back as this whole number

    auto matchWord = [&](const char* const* words, int count) {
        for (int i = 0; i < count; ++i)
            if (word == squeeze(words[i])) {
                n = i;
                isIndex = true;
                return true;
            }
        return false;
    };

    if (tag == kStepSizeTag) {
        if (!matchWord(BrakkaParameterManager::kStepSizeStrs, 5)) {
            error("step size \"" + text + "\" is none of 1 x 32, 2 x 16, 1 x 16T, 1 x 16, 1 x 8T");
            return false;
        }
    } else if (tag == kSyncTag) {
        if (!matchWord(BrakkaParameterManager::kSyncStrs, 3)) {
            error("sync \"" + text + "\" is none of HOST, INT, MIDI");
            return false;
        }
    } else if (isFamilyTag(tag, kRandomSizeTag)) {
        if (!matchWord(BrakkaParameterManager::kRandomSizeStrs, 7)) {
            error("random size \"" + text + "\" is none of 1/32, 1/16T, 1/16, 1/8T, 1/8, 1/4, 1/2");
            return false;
        }
    } else if (isFamilyTag(tag, kOutputTag)) {
        if (word.size() != 1 || word[0] < 'a' || word[0] > 'f') {
            error("output \"" + text + "\" is not a bus letter A to F");
            return false;
        }
        n = word[0] - 'a';
        isIndex = true;
    } else if (type == kParamOnOff) {
        if (word != "on" && word != "off") {
            error("switch value \"" + text + "\" is neither On nor Off");
            return false;
        }
        n = word == "on" ? 1.0 : 0.0;
        isIndex = true;
    } else if (tag == kPatternTag) {
        if (!parseNumber(text, n) || n != std::floor(n) || n < 1 || n > kNumPatterns) {
            error("pattern \"" + text + "\" is not a whole number from 1 to 16");
            return false;
        }
        n -= 1.0;
        isIndex = true;
    } else if (isFamilyTag(tag, kPanTag) && !word.empty() &&
               (word[0] == 'c' || word[0] == 'l' || word[0] == 'r')) {
        double amount = 0.0;
        if (word == "c") {
            n = 0.5;
        } else if (parseNumber(word.substr(1), amount) && amount >= 0 && amount <= 100) {
            n = word[0] == 'l' ? 0.5 - amount / 200.0 : 0.5 + amount / 200.0;
        } else {
            error("pan \"" + text + "\" is not C, L0..L100, R0..R100 or a number from 0 to 1");
            return false;
        }
    } else {
        if (!parseNumber(text, n)) {
            error("value \"" + text + "\" of \"" + pm.getName(tag) + "\" is not a number");
            return false;
        }
        if (type == kParamInteger && n != std::floor(n)) {
            error("\"" + pm.getName(tag) + "\" takes whole numbers, not " + text);
            return false;
        }
        // A little slack for decimals written to fewer places than the limit has.
        const double slack = 1e-6 * std::max(1.0, std::fabs(double(hi) - double(lo)));
        if (n < lo - slack || n > hi + slack) {
            char range[96];
            std::snprintf(range, sizeof range, " is outside %g to %g", double(lo), double(hi));
            error("value " + text + " of \"" + pm.getName(tag) + "\"" + range);
            return false;
        }
        n = std::min(std::max(n, double(lo)), double(hi));
        isIndex = type == kParamInteger;
    }

    vst = pm.VSTvalueFromNaturalValue(tag, float(n));
    if (isIndex) {
        // The plug-in truncates natural values of choices; make sure the stored value reads
        // back as the same choice despite float rounding.
        for (int i = 0; i < 8 && std::floor(pm.naturalValueFromVSTvalue(tag, vst) + 1e-3f) < n; ++i)
            vst = std::nextafter(vst, 2.0f);
        const float back = pm.naturalValueFromVSTvalue(tag, vst);
        if (static_cast<int>(back) != static_cast<int>(n) && type != kParamOnOff) {
            error("internal: \"" + pm.getName(tag) + "\" = " + text + " does not read back");
            return false;
        }
    }
    vst = std::min(std::max(vst, 0.0f), 1.0f);
    return true;
}

bool Builder::parseSetting(const std::string& statement, Program& program, Pattern* pattern) {
    size_t eq = statement.find('=');
    std::string name = trim(statement.substr(0, eq));
    std::string value = trim(statement.substr(eq + 1));
    auto it = nameToTag.find(normalize(name));
    if (it == nameToTag.end()) {
        error("unknown parameter \"" + name + "\"");
        return false;
    }
    const long tag = it->second;
    const bool patternTag = pm.isPatternTag(tag);
    if (pattern != nullptr && !patternTag) {
        error("\"" + pm.getName(tag) +
              "\" belongs to the program; set it before the first pattern");
        return false;
    }
    float vst = 0.0f;
    if (!parseValue(tag, value, vst)) return false;
    if (pattern == nullptr) {
        program.values[tag] = vst;
        return true;
    }
    if (tag == kStepSizeTag && pattern->rowsGiven) {
        error("set \"Pattern Step Size\" before the rows of the pattern");
        return false;
    }
    pattern->values[static_cast<unsigned>(tag)] = vst;
    return true;
}

int Builder::patternLength(const Pattern& pattern) {
    auto it = pattern.values.find(kStepSizeTag);
    float n =
        it == pattern.values.end() ? 0.0f : pm.naturalValueFromVSTvalue(kStepSizeTag, it->second);
    int index = std::min(std::max(static_cast<int>(n), 0), 4);
    return kSequenceLengths[index];
}

bool Builder::parsePatternHeader(const std::string& rest, Program& program, int& current) {
    std::istringstream in(rest);
    std::string number, from, source;
    in >> number;
    double n = 0;
    if (!parseNumber(number, n) || n != std::floor(n) || n < 1 || n > kNumPatterns) {
        error("pattern number \"" + number + "\" is not 1 to 16");
        return false;
    }
    const int index = static_cast<int>(n) - 1;
    if (program.patterns[index].defined) {
        error("pattern " + number + " is defined twice");
        return false;
    }
    std::string tail;
    std::getline(in, tail);
    tail = trim(tail);
    Pattern fresh;
    if (tail.compare(0, 5, "from ") == 0) {
        std::istringstream t(tail.substr(5));
        t >> source;
        std::getline(t, tail);
        double s = 0;
        if (!parseNumber(source, s) || s != std::floor(s) || s < 1 || s > kNumPatterns ||
            !program.patterns[static_cast<int>(s) - 1].defined) {
            error("pattern " + number + " copies \"" + source +
                  "\", which is not an earlier pattern");
            return false;
        }
        fresh = program.patterns[static_cast<int>(s) - 1];
    } else {
        for (unsigned tag : pm.getPatternTags())
            fresh.values[tag] = program.values[tag];
    }
    std::string label;
    bool found = false;
    if (!takeQuoted(tail, label, found) || !tail.empty()) {
        error("unexpected \"" + tail + "\" after the pattern number");
        return false;
    }
    fresh.defined = true;
    fresh.rowsGiven = false;
    program.patterns[index] = fresh;
    current = index;
    return true;
}

bool Builder::parseRow(int voice, const std::string& text, Pattern& pattern) {
    std::string steps;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '|') steps += c;
    const int length = patternLength(pattern);
    if (static_cast<int>(steps.size()) != length) {
        error(std::string(kVoiceCodes[voice]) + " row has " + std::to_string(steps.size()) +
              " steps; this pattern has " + std::to_string(length));
        return false;
    }
    unsigned char notes[kNumSteps] = {};
    float velocities[kNumSteps];
    std::fill(velocities, velocities + kNumSteps, kOffVelocity);
    for (int i = 0; i < length; ++i) {
        const char c = steps[static_cast<size_t>(i)];
        float velocity = -1.0f;
        if (c == '.' || c == '-' || c == '_') continue;
        if (c == 'x') velocity = 0.75f;
        if (c == 'X') velocity = 1.0f;
        if (c == 'o') velocity = 0.45f;
        if (c >= '1' && c <= '9') velocity = float(c - '0') / 9.0f;
        if (velocity < 0.0f) {
            error(std::string("step character '") + c + "' is none of . - _ x X o 1-9");
            return false;
        }
        notes[i] = 255;
        velocities[i] = velocity;
    }
    std::copy(notes, notes + kNumSteps, pattern.notes[voice]);
    std::copy(velocities, velocities + kNumSteps, pattern.velocities[voice]);
    pattern.rowsGiven = true;
    return true;
}

bool Builder::parseMod(const std::string& rest, Pattern& pattern) {
    size_t colon = rest.find(':');
    if (colon == std::string::npos) {
        error("a mod line reads: mod <parameter name>: <one value per step>");
        return false;
    }
    const std::string name = trim(rest.substr(0, colon));
    auto it = nameToTag.find(normalize(name));
    if (it == nameToTag.end()) {
        error("unknown parameter \"" + name + "\"");
        return false;
    }
    const unsigned tag = static_cast<unsigned>(it->second);
    if (!pm.isModulatableTag(tag)) {
        error("\"" + pm.getName(tag) + "\" cannot be modulated per step (sound and pan only)");
        return false;
    }
    const std::string values = trim(rest.substr(colon + 1));
    std::vector<float> row(kNumSteps, 0.5f);
    if (lower(values) == "random") {
        pattern.modRows[tag] = row;
        pattern.modRandom[tag] = true;
        pattern.rowsGiven = true;
        return true;
    }
    std::istringstream in(values);
    std::vector<std::string> tokens;
    for (std::string t; in >> t;)
        if (t != "|") tokens.push_back(t);
    const int length = patternLength(pattern);
    if (static_cast<int>(tokens.size()) != length) {
        error("mod row of \"" + pm.getName(tag) + "\" has " + std::to_string(tokens.size()) +
              " values; this pattern has " + std::to_string(length) + " steps");
        return false;
    }
    for (int i = 0; i < length; ++i) {
        const std::string& t = tokens[static_cast<size_t>(i)];
        double percent = 0.0;
        if (t != "." && (!parseNumber(t, percent) || percent < -100.0 || percent > 100.0)) {
            error("mod value \"" + t + "\" is not '.' or a percentage from -100 to 100");
            return false;
        }
        row[static_cast<size_t>(i)] = float(0.5 + percent / 200.0);
    }
    pattern.modRows[tag] = row;
    pattern.modRandom[tag] = false;
    pattern.rowsGiven = true;
    return true;
}

bool Builder::parseRandomVelocities(const std::string& rest, Pattern& pattern) {
    std::istringstream in(rest);
    bool any = false;
    for (std::string code; in >> code;) {
        int v = voiceOfCode(code);
        if (v < 0) {
            error("unknown voice \"" + code + "\" (KD S8 S9 LT MT HT CH OH CY RS CL CB)");
            return false;
        }
        pattern.velocityRandom[v] = true;
        any = true;
    }
    if (!any) error("random velocities: names no voice");
    return any;
}

bool Builder::parseFile(const std::string& fileName, Program& program) {
    file = fileName;
    line = 0;
    const int errorsBefore = errors;
    std::ifstream in(fileName);
    if (!in) {
        error("cannot be read");
        return false;
    }
    std::copy(defaults, defaults + kNumParameters, program.values);
    int current = -1;
    bool named = false;
    for (std::string raw; std::getline(in, raw);) {
        ++line;
        std::string text = trim(stripComment(raw));
        if (text.empty()) continue;
        std::string first = text.substr(0, text.find_first_of(" \t"));
        std::string rest = trim(text.substr(first.size()));

        if (first == "program") {
            std::string name;
            bool found = false;
            if (named) {
                error("a source file holds one program");
            } else if (!takeQuoted(rest, name, found) || !found || !rest.empty()) {
                error("program name must be given in double quotes");
            } else if (name.empty() || name.size() > 23) {
                error("program name \"" + name + "\" must have 1 to 23 characters");
            } else if (std::any_of(name.begin(), name.end(), [](char c) {
                           return static_cast<unsigned char>(c) < 32 ||
                                  static_cast<unsigned char>(c) > 126;
                       })) {
                error("program name \"" + name + "\" must be plain printable ASCII");
            } else {
                program.name = name;
            }
            named = true;
            continue;
        }
        if (!named) {
            error("the first statement must be program \"Name\"");
            named = true;
        }
        if (first == "pattern") {
            parsePatternHeader(rest, program, current);
            continue;
        }
        if (first == "mod" || first == "random") {
            if (current < 0) {
                error("\"" + first + "\" lines belong inside a pattern");
            } else if (first == "mod") {
                parseMod(rest, program.patterns[current]);
            } else if (rest.compare(0, 11, "velocities:") == 0) {
                parseRandomVelocities(rest.substr(11), program.patterns[current]);
            } else {
                error("a random line reads: random velocities: <voices>");
            }
            continue;
        }
        int voice = voiceOfCode(first);
        if (voice >= 0 && text.find('=') == std::string::npos) {
            if (current < 0)
                error("step rows belong inside a pattern");
            else
                parseRow(voice, rest, program.patterns[current]);
            continue;
        }
        if (text.find('=') != std::string::npos) {
            parseSetting(text, program, current < 0 ? nullptr : &program.patterns[current]);
            continue;
        }
        error("cannot understand \"" + text + "\"");
    }
    ++line;
    if (!named) error("no program statement");
    for (int p = 0; p < kNumPatterns; ++p)
        if (!program.patterns[p].defined) error("pattern " + std::to_string(p + 1) + " is missing");
    // The program's own values of the pattern tags are those of its first pattern.
    for (const auto& [tag, value] : program.patterns[0].values)
        program.values[tag] = value;
    return errors == errorsBefore;
}

void putLE32(std::vector<char>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
void putFloat(std::vector<char>& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    putLE32(out, bits);
}
void putBE32(std::vector<char>& out, uint32_t v) {
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
void setBE32(std::vector<char>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * (3 - i))) & 0xff);
}
uint32_t fourCC(const char* s) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

void Builder::appendPresetChunk(const Program& program, std::vector<char>& out) {
    putLE32(out, 100);
    char name[24] = {};
    std::memcpy(name, program.name.data(), std::min<size_t>(program.name.size(), 23));
    out.insert(out.end(), name, name + 24);
    for (float v : program.values)
        putFloat(out, v);
    for (const Pattern& p : program.patterns) {
        BrakkaSequencer seq;
        if (fullRows) seq.initModulators(pm.getModulatableTags());
        for (int v = 0; v < kNumVoices; ++v) {
            for (int s = 0; s < kNumSteps; ++s) {
                seq.setNote(v, s, p.notes[v][s]);
                seq.setVelocityValue(v, s, p.velocities[v][s]);
            }
            seq.setVelocityRandomOnLoop(v, p.velocityRandom[v]);
        }
        for (const auto& [tag, row] : p.modRows) {
            seq.setModRow(tag, row.data());
            seq.setModRandomOnLoop(tag, p.modRandom.at(tag));
            seq.registerModTag(tag);
        }
        std::vector<char> block(seq.getSize(false));
        seq.getAllData(block.data());
        out.insert(out.end(), block.begin(), block.end());
    }
    for (const Pattern& p : program.patterns)
        for (unsigned tag : pm.getPatternTags())
            putFloat(out, p.values.at(tag));
}

std::vector<char> Builder::bank(const std::vector<Program>& programs) {
    std::vector<char> out;
    putBE32(out, fourCC("CcnK"));
    putBE32(out, 0); // byte size, known at the end
    putBE32(out, fourCC("FBCh"));
    putBE32(out, 1);
    putBE32(out, fourCC("ZUbk"));
    putBE32(out, 1);
    putBE32(out, kNumPrograms);
    out.resize(out.size() + 128, 0);
    putBE32(out, 0); // chunk size
    for (const Program& p : programs)
        appendPresetChunk(p, out);
    setBE32(out, 4, static_cast<uint32_t>(out.size() - 8));
    setBE32(out, 156, static_cast<uint32_t>(out.size() - 160));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    std::string output;
    bool fullRows = false;
    std::vector<std::string> sources;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-o" && i + 1 < argc)
            output = argv[++i];
        else if (a == "--full-rows")
            fullRows = true;
        else
            sources.push_back(a);
    }
    if (output.empty() || sources.empty()) {
        std::fprintf(stderr, "usage: brakka-bankgen [--full-rows] -o bank.fxb program.txt ...\n");
        return 2;
    }
    Builder builder(fullRows);
    std::vector<Program> programs(sources.size());
    std::map<std::string, std::string> names;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (builder.parseFile(sources[i], programs[i])) {
            auto [it, fresh] = names.emplace(programs[i].name, sources[i]);
            if (!fresh) {
                std::fprintf(stderr, "%s:1: program name \"%s\" is already used by %s\n",
                             sources[i].c_str(), programs[i].name.c_str(), it->second.c_str());
                return 1;
            }
        }
    }
    if (builder.errorCount() > 0) {
        std::fprintf(stderr, "brakka-bankgen: %d error(s); no bank written\n",
                     builder.errorCount());
        return 1;
    }
    if (programs.size() != kNumPrograms) {
        std::fprintf(stderr, "brakka-bankgen: %zu program sources given; the bank holds %d\n",
                     programs.size(), kNumPrograms);
        return 1;
    }
    const std::vector<char> bytes = builder.bank(programs);
    // Write beside the target and rename, so a failed build never leaves a partial bank.
    const std::string temp = output + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "%s: cannot be written\n", temp.c_str());
        return 1;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(temp.c_str(), output.c_str()) != 0) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "%s: cannot be written\n", output.c_str());
        return 1;
    }
    return 0;
}
