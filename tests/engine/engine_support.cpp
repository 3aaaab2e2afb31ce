#include "engine_support.h"

#include "BrakkaParameterManager.h"
#include "BrakkaSequencer.h"

#include <cmath>
#include <cstring>
#include <string>

namespace brakka_test {

namespace {

void appendBytes(std::vector<uint8_t>& out, const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
}

} // namespace

std::vector<uint8_t> blankPresetChunk() {
    BrakkaParameterManager pm;
    std::vector<uint8_t> out;
    const int32_t format = 100;
    appendBytes(out, &format, 4);
    char name[24] = "init";
    appendBytes(out, name, sizeof name);
    for (int tag = 0; tag < 263; ++tag) {
        const float v = pm.getVSTvalue(tag);
        appendBytes(out, &v, 4);
    }
    const BrakkaSequencer empty;
    std::vector<char> block(empty.getSize(false));
    empty.getAllData(block.data());
    for (int p = 0; p < 16; ++p)
        appendBytes(out, block.data(), block.size());
    for (int p = 0; p < 16; ++p)
        for (unsigned tag : pm.getPatternTags()) {
            const float v = pm.getVSTvalue(tag);
            appendBytes(out, &v, 4);
        }
    return out;
}

std::vector<uint8_t> blankBankChunk() {
    const std::vector<uint8_t> preset = blankPresetChunk();
    std::vector<uint8_t> bank;
    for (int i = 0; i < 48; ++i)
        bank.insert(bank.end(), preset.begin(), preset.end());
    return bank;
}

BrakkaPatternDictionary patternDictionary(const std::function<void(int, BrakkaSequencer&)>& edit,
                                          const std::function<float(int, unsigned)>& value) {
    BrakkaParameterManager table;
    BrakkaPatternDictionary dict;
    for (int p = 0; p < 16; ++p) {
        BrakkaSequencer seq;
        seq.initModulators(table.getModulatableTags());
        if (edit) edit(p, seq);
        std::vector<char> block(seq.getSize(false));
        seq.getAllData(block.data());
        dict.blocks["Pattern " + std::to_string(p)] = block;
        for (unsigned tag : table.getPatternTags()) {
            const float v = value ? value(p, tag) : -1.0f;
            dict.numbers["S" + std::to_string(p) + "T" + std::to_string(tag)] =
                v < 0.0f ? table.getVSTvalue(tag) : v;
        }
    }
    return dict;
}

MidiList::MidiList(std::initializer_list<std::array<int, 3>> events) {
    for (const auto& e : events) {
        if (header.numEvents == 4) break;
        VstMidiEvent& m = midi[header.numEvents];
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        for (int b = 0; b < 3; ++b)
            m.midiData[b] = (char)e[b];
        header.events[header.numEvents++] = reinterpret_cast<VstEvent*>(&m);
    }
}

AEffect* engineEntry(audioMasterCallback audioMaster) {
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    AudioEffect* effect = createEffectInstance(audioMaster);
    return effect ? effect->getAeffect() : nullptr;
}

EngineHarness::EngineHarness(float rate, int blockSize, bool factoryPrograms)
    : blockSize_(blockSize) {
    AEffect* effect = host_.load(&engineEntry);
    if (effect) {
        engine_ = static_cast<Brakka*>(static_cast<AudioEffect*>(effect->object));
        if (!factoryPrograms) host_.setChunk(blankBankChunk(), false);
        host_.openAndResume(rate, blockSize);
    }
}

EngineHarness::~EngineHarness() {
    host_.close();
}

void EngineHarness::fillRow(int voice, const std::vector<int>& steps) {
    if (steps.empty()) {
        for (int s = 0; s < 32; ++s)
            engine_->setNote(voice, s, 255);
    } else {
        for (int s : steps)
            engine_->setNote(voice, s, 255);
    }
}

void EngineHarness::playInternal() {
    set(Brakka::kTagSync, syncValue(1));
    set(Brakka::kTagPlay, 1.0f);
}

void EngineHarness::render(long frames, std::vector<SentNote>* notes) {
    while (frames > 0) {
        int n = frames < blockSize_ ? (int)frames : blockSize_;
        if (beforeBlock) beforeBlock(position_, n);
        host_.clearRecords();
        host_.process(n);
        if (notes) {
            for (const VstMidiEvent& e : host_.midiOut()) {
                SentNote s;
                s.position = position_ + e.deltaFrames;
                s.status = (unsigned char)e.midiData[0];
                s.note = (unsigned char)e.midiData[1];
                s.velocity = (unsigned char)e.midiData[2];
                s.noteLength = e.noteLength;
                notes->push_back(s);
            }
        }
        position_ += n;
        frames -= n;
    }
}

std::vector<float> EngineHarness::renderChannel(int frames, int channel) {
    if (beforeBlock) beforeBlock(position_, frames);
    host_.process(frames);
    position_ += frames;
    return host_.output(channel);
}

std::vector<SentNote> noteOns(const std::vector<SentNote>& notes, int note) {
    std::vector<SentNote> out;
    for (const SentNote& s : notes)
        if (s.status == 0x90 && (note < 0 || s.note == note)) out.push_back(s);
    return out;
}

double rms(const std::vector<float>& x, size_t from, size_t to) {
    if (to > x.size()) to = x.size();
    if (from >= to) return 0.0;
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += (double)x[i] * x[i];
    return std::sqrt(sum / (double)(to - from));
}

double peak(const std::vector<float>& x) {
    double p = 0.0;
    for (float v : x)
        p = std::max(p, (double)std::fabs(v));
    return p;
}

} // namespace brakka_test
