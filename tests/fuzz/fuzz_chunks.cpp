// Fuzzes the engine's chunk loader with the bytes a host might hand it from a damaged project or
// preset file. The first input byte chooses the kind: 'B' a bank chunk, anything else a preset
// chunk; the rest, copied to a buffer of exactly its size, goes to setChunk.
//
// Beyond crashes and sanitizer reports, a chunk the engine accepts must survive a round trip:
// what getChunk then writes is accepted again and written back at the same size. (Not always
// byte for byte: a program whose stored Random Fill value is 1 re-randomizes its first
// pattern's row whenever it is applied, as a program change does.)
//
// With BRAKKA_FUZZ_WRITE_SEEDS=<folder> the program only writes its seed corpus there (a preset
// chunk and a bank chunk written by the plug-in, and the factory bank's own chunk) and exits.
#include "Brakka.h"
#include "BrakkaResources.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

Brakka* gEngine = nullptr;

VstIntPtr fuzzHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::vector<uint8_t> chunkOf(bool isPreset) {
    void* data = nullptr;
    const VstInt32 size = gEngine->getChunk(&data, isPreset);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return size > 0 && data ? std::vector<uint8_t>(bytes, bytes + size) : std::vector<uint8_t>();
}

void writeSeed(const std::string& path, char kind, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || size == 0 || std::fputc(kind, f) == EOF || std::fwrite(data, 1, size, f) != size ||
        std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The engine reads the MIDI assignments file at construction: use a throwaway folder.
    char folder[] = "/tmp/brakka-fuzz-XXXXXX";
    if (mkdtemp(folder)) setenv("XDG_CONFIG_HOME", folder, 1);
    gEngine = static_cast<Brakka*>(createEffectInstance(&fuzzHost));
    if (const char* seeds = std::getenv("BRAKKA_FUZZ_WRITE_SEEDS")) {
        const std::vector<uint8_t> preset = chunkOf(true), bank = chunkOf(false);
        writeSeed(std::string(seeds) + "/preset", 'P', preset.data(), preset.size());
        writeSeed(std::string(seeds) + "/bank", 'B', bank.data(), bank.size());
        const unsigned char* file = nullptr;
        size_t size = 0;
        if (brakkaFindResource("BrakkaFactoryPresets", "dat", &file, &size) && size > 160)
            writeSeed(std::string(seeds) + "/factory-bank", 'B', file + 160, size - 160);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size - 1 > (size_t)INT32_MAX) return 0;
    const bool isPreset = data[0] != 'B';
    std::vector<uint8_t> chunk(data + 1, data + size);
    if (gEngine->setChunk(chunk.empty() ? nullptr : chunk.data(), (VstInt32)chunk.size(),
                          isPreset) == 0)
        return 0;
    // The round trip of a bank costs three times the load itself; presets check it always,
    // banks once in a while.
    static unsigned banks = 0;
    if (!isPreset && banks++ % 16 != 0) return 0;
    std::vector<uint8_t> written = chunkOf(isPreset);
    if (written.empty()) std::abort();
    std::vector<uint8_t> copy = written;
    if (gEngine->setChunk(copy.data(), (VstInt32)copy.size(), isPreset) != 1) std::abort();
    if (chunkOf(isPreset).size() != written.size()) std::abort();
    return 0;
}
