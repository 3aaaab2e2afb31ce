#include "render_cli.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace render_test {

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

void set(std::vector<std::string>& args, int tag, double value) {
    args.push_back("--set");
    args.push_back(std::to_string(tag) + "=" + number(value));
}

} // namespace

int startProgram(const std::vector<std::string>& argv, const std::string& folder) {
    const std::string outPath = folder + "/.stdout", errPath = folder + "/.stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    // The child runs in `folder`: default output names land there.
    const std::string script = "cd \"$0\" && exec \"$@\"";
    std::vector<std::string> full = {"/bin/sh", "-c", script, folder};
    full.insert(full.end(), argv.begin(), argv.end());
    std::vector<char*> args;
    for (auto& a : full)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

RunResult finishProgram(int pid, const std::string& folder) {
    RunResult result;
    if (pid > 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string outPath = folder + "/.stdout", errPath = folder + "/.stderr";
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return result;
}

RunResult runProgram(const std::vector<std::string>& argv, const std::string& folder) {
    return finishProgram(startProgram(argv, folder), folder);
}

RunResult runRender(std::vector<std::string> args, const std::string& folder) {
    args.insert(args.begin(), {BRAKKA_RENDER, "--plugin", BRAKKA_PLUGIN});
    return runProgram(args, folder);
}

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/brakka-render-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (mkdtemp(buffer.data())) path_ = buffer.data();
}

TempFolder::~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempFolder::entries() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(path_, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> readBytes(const std::string& path) {
    const std::string s = slurp(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

bool readWav(const std::string& path, Wav& wav) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf) return false;
    wav.rate = info.samplerate;
    wav.channels = info.channels;
    wav.format = info.format;
    wav.samples.assign((size_t)(info.frames * info.channels), 0.0f);
    const sf_count_t n = sf_readf_float(sf, wav.samples.data(), info.frames);
    sf_close(sf);
    return n == info.frames;
}

int64_t firstSound(const Wav& wav, float level) {
    for (size_t i = 0; i < wav.samples.size(); ++i)
        if (std::fabs(wav.samples[i]) > level) return (int64_t)i / wav.channels;
    return -1;
}

MidiDump readMidiWithMido(const std::string& path) {
    MidiDump dump;
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const RunResult r = runProgram({BRAKKA_PYTHON3, MIDI_DUMP_SCRIPT, path}, folder);
    if (r.status != 0) {
        dump.error = "mido could not read " + path + ": " + r.err;
        return dump;
    }
    std::istringstream in(r.out);
    std::string word;
    long ignored = 0;
    while (in >> word) {
        MidiNote n{word == "on", 0, 0, 0};
        if (word == "on" || word == "off")
            in >> n.tick >> n.note >> n.velocity, dump.notes.push_back(n);
        else if (word == "timesig")
            in >> dump.timeSigNumerator >> dump.timeSigDenominator;
        else // format, ticks, tempo, end; the track count is not compared
            in >> (word == "format"  ? dump.format
                   : word == "ticks" ? dump.ticks
                   : word == "tempo" ? dump.tempo
                   : word == "end"   ? dump.end
                                     : ignored);
    }
    dump.ok = !in.bad();
    return dump;
}

std::vector<std::string> quarterNotePattern(int pattern, const std::vector<int>& voices) {
    std::vector<std::string> args;
    set(args, 114, (pattern - 1) / 15.0); // select it while stopped: switches at once
    set(args, 108, 0.0);                  // "1 x 32": one bar
    for (int v = 0; v < 12; ++v) {
        const bool plays = std::find(voices.begin(), voices.end(), v) != voices.end();
        set(args, 226 + v, 1.0);               // clear the row
        set(args, 178 + v, 1.0);               // selected beats 100 %
        set(args, 190 + v, plays ? 1.0 : 0.0); // random beats: always or never
        set(args, 202 + v, 5.0 / 6.0);         // random grid "1/4"
        set(args, 214 + v, 1.0);               // random velocity 127
        set(args, 250 + v, 0.0);               // no random reset
    }
    return args;
}

std::vector<std::string> neutralMixer() {
    std::vector<std::string> args;
    for (int v = 0; v < 12; ++v) {
        set(args, 118 + v, 1.0); // level 0 dB
        set(args, 130 + v, 0.5); // centre
        set(args, 142 + v, 0.0); // bus A
        set(args, 154 + v, 0.0); // not muted
        set(args, 166 + v, 0.0); // not soloed
    }
    set(args, 116, 0.0); // compressor off
    set(args, 262, 0.0); // audio, not MIDI only
    return args;
}

} // namespace render_test
