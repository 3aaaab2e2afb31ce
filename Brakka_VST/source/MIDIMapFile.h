// MIDIMapFile: the per-user text file that keeps the learnt MIDI controller bindings.
//
// The file holds one binding per line, "tag controller\n", both as signed decimal numbers, in
// the order of the in-memory map (ascending controller). Reading treats the file as a stream
// of numbers separated by blanks, line feeds and carriage returns, taken in pairs.
//
// The file lives in "$XDG_CONFIG_HOME/Zunder Works/" ("~/.config/Zunder Works/" when
// XDG_CONFIG_HOME is unset or empty), shared by every instance of the plug-in.
//
// Saving replaces the file atomically (temporary file beside it, fsync, rename), so a crash or
// a full disk never leaves a half-written file behind, and a failing save keeps the old file.
// None of these functions belongs on the audio thread: a learn made there only raises a flag,
// and a thread of the engine's own writes the file. (FormatMIDIMap alone neither allocates nor
// blocks.)
#pragma once

#include <cstddef>
#include <map>
#include <string>

// Name of the assignments file inside the vendor folder.
inline constexpr const char* kMIDIMapFilename = "Brakka MIDI Assignments.txt";
// Name of the vendor folder inside the user's configuration folder.
inline constexpr const char* kMIDIMapFolderName = "Zunder Works";
// Only this many bytes at the start of the file are read.
inline constexpr size_t kMIDIMapMaxFileBytes = 4096;
// Longest line FormatMIDIMap writes ("-2147483648 -128\n"), for sizing a caller's buffer.
inline constexpr size_t kMIDIMapMaxLineBytes = 17;

// Full path of the vendor folder ("<config>/Zunder Works"), found from the environment and the
// password database without touching the file system; empty when no home folder is known.
std::string GetMIDIMapFolder();

// Finds the full path of fileName inside the vendor folder, creating the folder (and the
// configuration folder above it) when missing. When create is true a missing file is created
// empty. Returns 0 on success, otherwise the errno of the first failing step; a missing file
// with create false gives ENOENT (path is still set then).
int GetMIDIFileSpec(std::string& path, const char* fileName, bool create);

// Adds the bindings of the first 4096 bytes of text (up to its first zero byte) to map:
// tag := atoi(first), controller := atoi(second) of each pair; pairs whose controller is -1
// are skipped, others add (low 8 bits of controller -> tag) after existing entries of that
// controller. A last token without a partner is ignored.
void ParseMIDIMap(const char* text, size_t length, std::multimap<char, int>& map);

// Adds the bindings of the file to map; a missing or unreadable file adds nothing.
void LoadMIDIMap(const char* fileName, std::multimap<char, int>& map);

// Writes one "%d %d\n" line (tag, controller) per binding in map order into dst, always
// zero-terminated when capacity > 0. Returns the length of the whole text (without the zero),
// which exceeds capacity - 1 when dst was too small (the text is then cut). Does not allocate.
size_t FormatMIDIMap(const std::multimap<char, int>& map, char* dst, size_t capacity);

// Atomically replaces the file's contents by the given bytes. False (file unchanged) on any
// failure.
bool SaveMIDIMapText(const char* fileName, const char* text, size_t length);

// Formats map and saves it with SaveMIDIMapText. False (file unchanged) on any failure.
bool SaveMIDIMap(const char* fileName, std::multimap<char, int> map);
