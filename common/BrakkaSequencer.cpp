#include "BrakkaSequencer.h"

#include "BrakkaParameterManager.h"
#include "zusp_math.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

int (*gSequencerRandomSource)() = nullptr;
void (*gSequencerRandomFill)(int*, int) = nullptr;

// Values in the rows are fractions; anything else (from a damaged or hostile block, or a
// careless caller) is brought into 0..1 so the voices and value mappings never see it.
float clampUnit(float x, float fallback) {
    if (std::isnan(x)) return fallback;
    if (x < 0.0f) return 0.0f;
    if (x > 1.0f) return 1.0f;
    return x;
}

bool validVoice(int voice) {
    return voice >= 0 && voice < kNumVoices;
}
bool validStep(int step) {
    return step >= 0 && step < kNumSteps;
}

uint32_t readU32(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void writeU32(char* p, uint32_t v) {
    std::memcpy(p, &v, sizeof v);
}

// Which modulatable tags a block may name, by slot.
struct AcceptedTags {
    bool slot[BrakkaSequencer::kModSlotCount] = {};

    explicit AcceptedTags(const std::set<unsigned>& tags) {
        for (unsigned tag : tags) {
            int s = BrakkaSequencer::modSlotOfTag(tag);
            if (s >= 0) slot[s] = true;
        }
    }
    bool accepts(unsigned tag) const {
        int s = BrakkaSequencer::modSlotOfTag(tag);
        return s >= 0 && slot[s];
    }
};

size_t validateBlock(const char* data, size_t length, const AcceptedTags& accepted) {
    if (!data) return 0;
    size_t pos = BrakkaSequencer::kFixedBlockBytes;
    if (length < pos) return 0;

    for (int v = 0; v < kNumVoices; ++v) {
        if (length - pos < 4) return 0;
        uint32_t n = readU32(data + pos);
        pos += 4;
        if (n > (uint32_t)BrakkaSequencer::kModSlotCount) return 0;
        if (length - pos < 4 * (size_t)n) return 0;
        for (uint32_t i = 0; i < n; ++i, pos += 4)
            if (!accepted.accepts(readU32(data + pos))) return 0;
    }

    if (length - pos < 4) return 0;
    uint32_t m = readU32(data + pos);
    pos += 4;
    if (m > (uint32_t)BrakkaSequencer::kModSlotCount) return 0;
    if (length - pos < (size_t)m * BrakkaSequencer::kModRowBytes) return 0;
    for (uint32_t i = 0; i < m; ++i, pos += BrakkaSequencer::kModRowBytes)
        if (!accepted.accepts(readU32(data + pos))) return 0;
    if (length - pos < (size_t)m * BrakkaSequencer::kModFlagBytes) return 0;
    for (uint32_t i = 0; i < m; ++i, pos += BrakkaSequencer::kModFlagBytes)
        if (!accepted.accepts(readU32(data + pos))) return 0;
    return pos;
}

} // namespace

BrakkaSequencer::BrakkaSequencer() {
    std::memset(noteRows, 0, sizeof noteRows);
    for (auto& row : velocityRows)
        for (float& x : row)
            x = 0.7f;
    std::memset(velocityRandomOnLoop, 0, sizeof velocityRandomOnLoop);
    for (auto& row : modValues)
        for (float& x : row)
            x = 0.5f;
    std::memset(modRandomOnLoop, 0, sizeof modRandomOnLoop);
    std::memset(modRowPresent, 0, sizeof modRowPresent);
    // The pattern-scope parameters' defaults, so that a fresh pattern plays at once:
    // Selected Beats 100 %, Random Beats 0 %, Random Size 6 ticks, Random Velocity 1 of 127.
    for (int v = 0; v < kNumVoices; ++v) {
        selectedBeats[v] = (int)(1.0 * 2147483647.0);
        randomBeats[v] = 0;
        randomSize[v] = 6;
        randomVelocity[v] = 1.0f / kMaxRandomVelocity;
    }
    currentStep = 0;
    sequenceLength = kNumSteps;
    stepTicks = 3;
    tickGranularity = 48; // what tick 0 gives
    currentTick = 0;
}

// --- random source ---------------------------------------------------------------------------

void BrakkaSequencer::setRandomSource(int (*source)(), void (*fill)(int*, int)) {
    gSequencerRandomSource = source;
    gSequencerRandomFill = source ? fill : nullptr;
}

int BrakkaSequencer::nextRandom() {
    return gSequencerRandomSource ? gSequencerRandomSource() : std::rand();
}

void BrakkaSequencer::nextRandoms(int* out, int count) {
    if (gSequencerRandomFill) {
        gSequencerRandomFill(out, count);
        return;
    }
    for (int i = 0; i < count; ++i)
        out[i] = nextRandom();
}

// --- step clock ------------------------------------------------------------------------------

bool BrakkaSequencer::setCurrent96th(unsigned tick) {
    if (tick == currentTick) return false;
    currentTick = tick;

    static const unsigned kDivisions[] = {48, 24, 12, 8, 6, 4, 3};
    tickGranularity = 1;
    for (unsigned d : kDivisions) {
        if (tick % d == 0) {
            tickGranularity = (int)d;
            break;
        }
    }

    const int step = stepAt(tick);
    if (step == currentStep) return false;
    currentStep = step;
    return true;
}

int BrakkaSequencer::advance() {
    setCurrent96th(currentTick + (unsigned)stepTicks);
    return currentStep;
}

int BrakkaSequencer::retreat() {
    int64_t t = (int64_t)currentTick - stepTicks;
    if (t < 0) t += (int64_t)stepTicks * sequenceLength;
    setCurrent96th((unsigned)t);
    return currentStep;
}

void BrakkaSequencer::goToStep(int step) {
    if (step >= sequenceLength)
        step %= sequenceLength;
    else if (step < 0) // a negative step would index outside the rows
        step = (step % sequenceLength + sequenceLength) % sequenceLength;
    currentStep = step;
}

void BrakkaSequencer::setSequenceLength(int length) {
    if (length < 1) length = 1;
    if (length > kNumSteps) length = kNumSteps;
    if (currentStep >= length) currentStep = 0;
    sequenceLength = length;
}

void BrakkaSequencer::setStepTicks(int ticks) {
    if (ticks >= 1) stepTicks = ticks;
}

// --- probability tests -----------------------------------------------------------------------

bool BrakkaSequencer::getWeightedNote(int voice, int step) const {
    if (!validVoice(voice) || !validStep(step)) return false;
    if (noteRows[voice][step] == 0) return false;
    return selectedBeats[voice] > nextRandom();
}

bool BrakkaSequencer::getRandomNote(int voice) const {
    if (!validVoice(voice)) return false;
    int r = randomSize[voice];
    if (r <= 0) return false;
    if (tickGranularity < r) return false;
    if (tickGranularity % r != 0) return false;
    return randomBeats[voice] > nextRandom();
}

float BrakkaSequencer::getVelocity(int voice, int step) const {
    if (!validVoice(voice)) return 0.0f;
    if (validStep(step) && noteRows[voice][step] != 0) return velocityRows[voice][step];
    if (randomVelocity[voice] != 0.0f) return randomVelocity[voice];
    return velocityRows[voice][currentStep];
}

unsigned BrakkaSequencer::touchStep(int step) const {
    if (!validStep(step)) return 0;
    using zusp_math::touchLines;
    unsigned sum =
        touchLines(noteRows, sizeof noteRows) + touchLines(voiceModTags, sizeof voiceModTags) +
        touchLines(modRandomOnLoop, sizeof modRandomOnLoop) +
        touchLines(modRowPresent, sizeof modRowPresent) +
        touchLines(selectedBeats, sizeof selectedBeats) +
        touchLines(randomBeats, sizeof randomBeats) + touchLines(randomSize, sizeof randomSize) +
        touchLines(randomVelocity, sizeof randomVelocity) +
        touchLines(velocityRandomOnLoop, sizeof velocityRandomOnLoop);
    for (int v = 0; v < kNumVoices; ++v) {
        sum += touchLines(&velocityRows[v][step], sizeof(float));
        forEachVoiceModTag(v, [&](unsigned tag) {
            sum += touchLines(&modValues[modSlotOfTag(tag)][step], sizeof(float));
        });
    }
    return sum;
}

void BrakkaSequencer::setSelectedBeats(int voice, int value) {
    if (validVoice(voice)) selectedBeats[voice] = value;
}

void BrakkaSequencer::setRandomBeats(int voice, int value) {
    if (validVoice(voice)) randomBeats[voice] = value;
}

void BrakkaSequencer::setRandomSize(int voice, int ticks) {
    if (validVoice(voice)) randomSize[voice] = ticks;
}

void BrakkaSequencer::setRandomVelocity(int voice, float velocity) {
    if (validVoice(voice)) randomVelocity[voice] = clampUnit(velocity, 0.0f);
}

int BrakkaSequencer::getSelectedBeats(int voice) const {
    return validVoice(voice) ? selectedBeats[voice] : 0;
}

int BrakkaSequencer::getRandomBeats(int voice) const {
    return validVoice(voice) ? randomBeats[voice] : 0;
}

int BrakkaSequencer::getRandomSize(int voice) const {
    return validVoice(voice) ? randomSize[voice] : 0;
}

float BrakkaSequencer::getRandomVelocity(int voice) const {
    return validVoice(voice) ? randomVelocity[voice] : 0.0f;
}

// --- rows --------------------------------------------------------------------------------------

void BrakkaSequencer::clearNotes(int voice) {
    if (validVoice(voice)) std::memset(noteRows[voice], 0, kNumSteps);
}

void BrakkaSequencer::randomizeNotes(int voice) {
    if (!validVoice(voice)) return;
    int drawn[kNumSteps];
    nextRandoms(drawn, kNumSteps);
    for (int i = 0; i < kNumSteps; ++i)
        noteRows[voice][i] = (unsigned char)(drawn[i] & 1);
}

void BrakkaSequencer::fillRow(float* row, int shape, float clearValue) {
    const int len = sequenceLength;
    switch (shape) {
    case 0:
        for (int i = 0; i < len; ++i)
            row[i] = clearValue;
        break;
    case 1:
        for (int i = 0; i < len; ++i)
            row[i] = 1.0f - row[i];
        break;
    case 2:
        for (int i = 0; i < len; ++i)
            row[i] = 1.0f - (float)i / (float)len;
        break;
    case 3: {
        const double twoPi = 2.0 * 3.14159265358979323846;
        for (int i = 0; i < len; ++i)
            row[i] = (float)((std::sin(i * twoPi / len) + 1.0) * 0.5);
        break;
    }
    case 4:
        // rand() scaled by 2^-31; the product is exact before the single rounding to float.
        {
            int drawn[kNumSteps];
            nextRandoms(drawn, len);
            for (int i = 0; i < len; ++i)
                row[i] = (float)((double)drawn[i] * (1.0 / 2147483648.0));
            break;
        }
    default:
        break;
    }
}

void BrakkaSequencer::fillVelocityValues(int voice, int shape) {
    if (validVoice(voice)) fillRow(velocityRows[voice], shape, 0.0f);
}

void BrakkaSequencer::fillModValues(unsigned tag, int shape) {
    int slot = modSlotOfTag(tag);
    if (slot < 0 || shape < 0 || shape > 4) return;
    createModRow(tag);
    fillRow(modValues[slot], shape, 0.5f);
}

unsigned char BrakkaSequencer::getNote(int voice, int step) const {
    return validVoice(voice) && validStep(step) ? noteRows[voice][step] : 0;
}

void BrakkaSequencer::setNote(int voice, int step, unsigned char value) {
    if (validVoice(voice) && validStep(step)) noteRows[voice][step] = value;
}

void BrakkaSequencer::getNoteRow(int voice, unsigned char row[kNumSteps]) const {
    if (validVoice(voice))
        std::memcpy(row, noteRows[voice], kNumSteps);
    else
        std::memset(row, 0, kNumSteps);
}

float BrakkaSequencer::getVelocityValue(int voice, int step) const {
    return validVoice(voice) && validStep(step) ? velocityRows[voice][step] : 0.0f;
}

void BrakkaSequencer::setVelocityValue(int voice, int step, float value) {
    if (validVoice(voice) && validStep(step)) velocityRows[voice][step] = clampUnit(value, 0.0f);
}

void BrakkaSequencer::getVelocityRow(int voice, float row[kNumSteps]) const {
    for (int i = 0; i < kNumSteps; ++i)
        row[i] = getVelocityValue(voice, i);
}

bool BrakkaSequencer::getVelocityRandomOnLoop(int voice) const {
    return validVoice(voice) && velocityRandomOnLoop[voice] != 0;
}

void BrakkaSequencer::setVelocityRandomOnLoop(int voice, bool on) {
    if (validVoice(voice)) velocityRandomOnLoop[voice] = on ? 1 : 0;
}

// --- modulation rows -----------------------------------------------------------------------------

void BrakkaSequencer::startNeutralModRow(int slot) {
    for (float& x : modValues[slot])
        x = 0.5f;
    modRandomOnLoop[slot] = false;
    modRowPresent[slot] = true;
}

void BrakkaSequencer::initModulators(const std::set<unsigned>& tags) {
    for (unsigned tag : tags) {
        int slot = modSlotOfTag(tag);
        if (slot >= 0) startNeutralModRow(slot);
    }
}

bool BrakkaSequencer::hasModRow(unsigned tag) const {
    int slot = modSlotOfTag(tag);
    return slot >= 0 && modRowPresent[slot];
}

int BrakkaSequencer::getModRowCount() const {
    int n = 0;
    for (bool present : modRowPresent)
        n += present ? 1 : 0;
    return n;
}

bool BrakkaSequencer::createModRow(unsigned tag) {
    int slot = modSlotOfTag(tag);
    if (slot < 0) return false;
    if (!modRowPresent[slot]) startNeutralModRow(slot);
    return true;
}

float BrakkaSequencer::getModValue(unsigned tag, int step) const {
    int slot = modSlotOfTag(tag);
    if (slot < 0 || !modRowPresent[slot] || !validStep(step)) return 0.5f;
    return modValues[slot][step];
}

void BrakkaSequencer::setModValue(unsigned tag, int step, float value) {
    if (!validStep(step) || !createModRow(tag)) return;
    modValues[modSlotOfTag(tag)][step] = clampUnit(value, 0.5f);
}

void BrakkaSequencer::getModRow(unsigned tag, float row[kNumSteps]) const {
    for (int i = 0; i < kNumSteps; ++i)
        row[i] = getModValue(tag, i);
}

void BrakkaSequencer::setModRow(unsigned tag, const float row[kNumSteps]) {
    if (!createModRow(tag)) return;
    float* dst = modValues[modSlotOfTag(tag)];
    for (int i = 0; i < kNumSteps; ++i)
        dst[i] = clampUnit(row[i], 0.5f);
}

bool BrakkaSequencer::getModRandomOnLoop(unsigned tag) const {
    int slot = modSlotOfTag(tag);
    return slot >= 0 && modRowPresent[slot] && modRandomOnLoop[slot];
}

void BrakkaSequencer::setModRandomOnLoop(unsigned tag, bool on) {
    // The flag lives beside its row, so the block always holds as many flags as rows.
    if (createModRow(tag)) modRandomOnLoop[modSlotOfTag(tag)] = on;
}

// --- modulated tags per voice --------------------------------------------------------------------

bool BrakkaSequencer::registerModTag(unsigned tag) {
    int voice = BrakkaParameterManager::getVoiceFromParamTag(tag);
    if (voice < 0 || !createModRow(tag)) return false;
    voiceModTags[voice].set(modSlotOfTag(tag));
    return true;
}

void BrakkaSequencer::unregisterModTag(int voice, unsigned tag) {
    int slot = modSlotOfTag(tag);
    if (validVoice(voice) && slot >= 0) voiceModTags[voice].reset(slot);
}

void BrakkaSequencer::unregisterAllModTags() {
    for (auto& tags : voiceModTags)
        tags.reset();
}

bool BrakkaSequencer::isModTagRegistered(int voice, unsigned tag) const {
    int slot = modSlotOfTag(tag);
    return validVoice(voice) && slot >= 0 && voiceModTags[voice].test(slot);
}

int BrakkaSequencer::getVoiceModTagCount(int voice) const {
    return validVoice(voice) ? (int)voiceModTags[voice].count() : 0;
}

int BrakkaSequencer::getVoiceModTags(int voice, unsigned* tags, int maxTags) const {
    int n = 0;
    if (!tags) return 0;
    forEachVoiceModTag(voice, [&](unsigned tag) {
        if (n < maxTags) tags[n++] = tag;
    });
    return n;
}

// --- serialized block ------------------------------------------------------------------------

size_t BrakkaSequencer::getSize(bool) const {
    size_t size = kFixedBlockBytes;
    for (const auto& tags : voiceModTags)
        size += 4 + 4 * tags.count();
    size_t m = (size_t)getModRowCount();
    return size + 4 + m * kModRowBytes + m * kModFlagBytes;
}

void BrakkaSequencer::getAllData(char* data) const {
    if (!data) return;
    char* p = data;
    for (const auto& row : noteRows) {
        std::memcpy(p, row, kNumSteps);
        p += kNumSteps;
    }
    for (const auto& row : velocityRows) {
        std::memcpy(p, row, sizeof row);
        p += sizeof row;
    }
    std::memcpy(p, velocityRandomOnLoop, kNumVoices);
    p += kNumVoices;

    for (int v = 0; v < kNumVoices; ++v) {
        writeU32(p, (uint32_t)voiceModTags[v].count());
        p += 4;
        forEachVoiceModTag(v, [&](unsigned tag) {
            writeU32(p, tag);
            p += 4;
        });
    }

    writeU32(p, (uint32_t)getModRowCount());
    p += 4;
    for (int slot = 0; slot < kModSlotCount; ++slot) {
        if (!modRowPresent[slot]) continue;
        writeU32(p, tagOfModSlot(slot));
        std::memcpy(p + 4, modValues[slot], sizeof modValues[slot]);
        p += kModRowBytes;
    }
    for (int slot = 0; slot < kModSlotCount; ++slot) {
        if (!modRowPresent[slot]) continue;
        writeU32(p, tagOfModSlot(slot));
        p[4] = modRandomOnLoop[slot] ? 1 : 0;
        p += kModFlagBytes;
    }
}

size_t BrakkaSequencer::validateAllData(const char* data, size_t length,
                                        const std::set<unsigned>& modulatableTags) {
    return validateBlock(data, length, AcceptedTags(modulatableTags));
}

bool BrakkaSequencer::setAllData(const char* data, size_t length,
                                 const std::set<unsigned>& modulatableTags, bool,
                                 size_t* consumed) {
    // Check the whole block first so that a damaged one changes nothing; after that every
    // count and tag below is known to be in range.
    const size_t blockLength = validateBlock(data, length, AcceptedTags(modulatableTags));
    if (blockLength == 0) return false;

    const char* p = data;
    for (auto& row : noteRows) {
        std::memcpy(row, p, kNumSteps);
        p += kNumSteps;
    }
    for (auto& row : velocityRows) {
        std::memcpy(row, p, sizeof row);
        p += sizeof row;
        for (float& x : row)
            x = clampUnit(x, 0.0f);
    }
    std::memcpy(velocityRandomOnLoop, p, kNumVoices);
    p += kNumVoices;

    for (int v = 0; v < kNumVoices; ++v) {
        voiceModTags[v].reset();
        uint32_t n = readU32(p);
        p += 4;
        for (uint32_t i = 0; i < n; ++i, p += 4)
            voiceModTags[v].set(modSlotOfTag(readU32(p)));
    }

    std::memset(modRowPresent, 0, sizeof modRowPresent);
    initModulators(modulatableTags);

    uint32_t m = readU32(p);
    p += 4;
    for (uint32_t i = 0; i < m; ++i, p += kModRowBytes) {
        float* row = modValues[modSlotOfTag(readU32(p))];
        std::memcpy(row, p + 4, sizeof(float) * kNumSteps);
        for (int s = 0; s < kNumSteps; ++s)
            row[s] = clampUnit(row[s], 0.5f);
    }
    for (uint32_t i = 0; i < m; ++i, p += kModFlagBytes)
        modRandomOnLoop[modSlotOfTag(readU32(p))] = p[4] != 0;

    if (consumed) *consumed = blockLength;
    return true;
}

// --- helpers -----------------------------------------------------------------------------------

int BrakkaSequencer::modSlotOfTag(unsigned tag) {
    if (tag < (unsigned)kNumSoundTags) return (int)tag;
    if (isFamilyTag(tag, kPanTag)) return (int)tag - kPanTag + kNumSoundTags;
    return -1;
}

unsigned BrakkaSequencer::tagOfModSlot(int slot) {
    return slot < kNumSoundTags ? (unsigned)slot : (unsigned)(slot - kNumSoundTags + kPanTag);
}
