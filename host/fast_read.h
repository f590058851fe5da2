#pragma once
// The fast-read file of a game in development ("fastread.inf", else
// "fastread.txt", in the game directory; read in debug mode only): a
// directory on a faster disk and the author's editor command. Start-up reads
// it (host/startup.cpp) to make the directory's "savedata" and to keep the
// directory as the save root and first search place when the game runs from
// a disc; the debug tooling takes the editor command when nothing else names
// an editor.

#include <optional>
#include <string>
#include <string_view>

namespace tavelo::host {

struct Engine;

// Both in the game code page, empty when the file does not give them.
struct FastReadFile {
  std::string directory;  // non-empty line 0, at most 511 bytes
  std::string editor;     // non-empty line 2, at most 259 bytes (line 1 is not used)
};

// Every line is cut at its first ";" and at its first "//" and stripped of
// blanks and control bytes at both ends; empty lines are not counted.
FastReadFile parse_fast_read_file(std::string_view text);

// Reads the file from the game directory; nullopt when neither name opens.
std::optional<FastReadFile> read_fast_read_file(Engine& engine);

// Start-up, debug mode only: makes "<directory>/savedata", and keeps the
// directory (save root and base directory) only when the game runs from a
// disc and the directory lies on another disk. Remembers the editor command.
void apply_fast_read_file(Engine& engine);

}  // namespace tavelo::host
