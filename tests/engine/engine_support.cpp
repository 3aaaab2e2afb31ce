#include "engine_support.h"

#include <cmath>

namespace brakka_test {

AEffect* engineEntry(audioMasterCallback audioMaster) {
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    AudioEffect* effect = createEffectInstance(audioMaster);
    return effect ? effect->getAeffect() : nullptr;
}

EngineHarness::EngineHarness(float rate, int blockSize) : blockSize_(blockSize) {
    AEffect* effect = host_.load(&engineEntry);
    if (effect) {
        engine_ = static_cast<Brakka*>(static_cast<AudioEffect*>(effect->object));
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
