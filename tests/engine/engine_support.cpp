#include "engine_support.h"

#include "BrakkaParameterManager.h"
#include "BrakkaSequencer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace brakka_test {

std::vector<uint8_t> blankBankChunk() {
    BrakkaParameterManager pm;
    std::vector<uint8_t> preset;
    auto append = [&](const void* p, size_t n) {
        preset.insert(preset.end(), (const uint8_t*)p, (const uint8_t*)p + n);
    };
    const int32_t format = 100;
    const char name[24] = "init";
    append(&format, 4);
    append(name, sizeof name);
    for (int tag = 0; tag < kNumParameters; ++tag) {
        const float v = pm.getVSTvalue(tag);
        append(&v, 4);
    }
    const BrakkaSequencer empty;
    std::vector<char> block(empty.getSize(false));
    empty.getAllData(block.data());
    for (int p = 0; p < kNumPatterns; ++p)
        append(block.data(), block.size());
    for (int p = 0; p < kNumPatterns; ++p)
        for (unsigned tag : pm.getPatternTags()) {
            const float v = pm.getVSTvalue(tag);
            append(&v, 4);
        }
    std::vector<uint8_t> bank;
    for (int i = 0; i < kNumPrograms; ++i)
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

ConfigFolder::ConfigFolder() {
    char pattern[] = "/tmp/brakka-config-XXXXXX";
    if (mkdtemp(pattern)) dir = pattern;
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    file = dir / "Zunder Works" / "Brakka MIDI Assignments.txt";
}

ConfigFolder::~ConfigFolder() {
    unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
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
    if (AEffect* effect = host_.load(&engineEntry)) {
        engine_ = &engineOf(effect);
        if (!factoryPrograms) host_.setChunk(blankBankChunk(), false);
        host_.openAndResume(rate, blockSize);
    }
}

void EngineHarness::fillRow(int voice, const std::vector<int>& steps) {
    for (int s = 0; s < 32; ++s)
        if (steps.empty() || std::find(steps.begin(), steps.end(), s) != steps.end())
            engine_->setNote(voice, s, 255);
}

void EngineHarness::playInternal() {
    set(kSyncTag, syncValue(1));
    set(kPlayTag, 1.0f);
}

void EngineHarness::render(long frames, std::vector<SentNote>* notes) {
    while (frames > 0) {
        const int n = frames < blockSize_ ? (int)frames : blockSize_;
        if (beforeBlock) beforeBlock(position_, n);
        host_.clearRecords();
        host_.process(n);
        if (notes)
            for (const VstMidiEvent& e : host_.midiOut())
                notes->push_back({position_ + e.deltaFrames, (unsigned char)e.midiData[0],
                                  (unsigned char)e.midiData[1], (unsigned char)e.midiData[2],
                                  e.noteLength});
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

double rms(const std::vector<float>& x) {
    double sum = 0.0;
    for (float v : x)
        sum += (double)v * v;
    return x.empty() ? 0.0 : std::sqrt(sum / (double)x.size());
}

double peak(const std::vector<float>& x) {
    double p = 0.0;
    for (float v : x)
        p = std::max(p, (double)std::fabs(v));
    return p;
}

} // namespace brakka_test
