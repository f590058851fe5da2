#pragma once
// Compiled scripts (.tvo): the parse of a file image, descrambling, and the
// list of loaded scripts with their read-mark sets (script::Scripts inside the
// script state). The interpreter, calls and error reports find code and
// functions through here; the tools and the fuzzer share the image parser.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "script/read_mark_set.h"

namespace tavelo::script {

struct Machine;

struct LoadedScript;

// Every code block is followed by this many zero bytes, so the interpreter may
// read fixed-size operands at the end of a block and check afterwards.
inline constexpr size_t kCodePadding = 16;

// One load of a script's code: an owned, writable, descrambled copy (the
// interpreter caches call targets and variable slots in operand fields).
struct CodeBlock {
  std::unique_ptr<uint8_t[]> bytes;  // size + kCodePadding bytes
  // One entry per code byte: the interpreter's decoded form of the
  // instruction that starts there, 0 until first run (script/decode.h).
  std::unique_ptr<uint16_t[]> decoded;
  uint32_t size = 0;
  LoadedScript* script = nullptr;

  const uint8_t* begin() const { return bytes.get(); }
  const uint8_t* end() const { return bytes.get() + size; }
  bool contains(const uint8_t* position) const;
};

struct FunctionEntry {
  uint32_t hash = 0;
  uint32_t offset = 0;  // from the start of the code block
};

struct LoadedScript {
  std::string name;  // normalized (START.TVO), at most 127 bytes
  uint32_t name_hash = 0;
  uint64_t file_time = 0;  // 0 for scripts from archives: they never reload
  int32_t entry_offset = -1;  // -1: the script has no entry function
  uint32_t line_count = 0;    // at most kMaxLineCount, whatever the file claims
  std::vector<FunctionEntry> functions;
  std::unique_ptr<CodeBlock> code;
  // Code of earlier loads of this script. A reload cannot move the threads
  // that still run in the old code, so the old blocks stay alive until
  // free_all_scripts.
  std::vector<std::unique_ptr<CodeBlock>> retired_code;
  ReadMarkSet* read_marks = nullptr;
};

struct Scripts {
  std::vector<std::unique_ptr<LoadedScript>> loaded;     // newest first
  std::vector<std::unique_ptr<ReadMarkSet>> read_marks;  // newest first
  // Sets dropped because their script's line count changed; kept alive because
  // frames may still hold them in their read-mark cache.
  std::vector<std::unique_ptr<ReadMarkSet>> retired_read_marks;
  bool read_marks_loaded = false;  // the read-mark file is read once per engine
};

// ---- File images (no engine needed) ----

inline constexpr std::string_view kPlainMagic{"TaveloObjV1.000\0", 16};
inline constexpr std::string_view kScrambledMagic{"TaveloObjX1.000\0", 16};
inline constexpr size_t kMagicSize = 16;
inline constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

enum class ScriptVariant { Plain, Scrambled };

enum class ImageStatus {
  Ok,
  BadMagic,    // not one of the two magics (all 16 bytes compared)
  Truncated,   // a count or size runs past the end of the file
  BadOffset,   // the entry or a function offset lies outside the code
};

// A parsed file image. code views the file's bytes, still scrambled for the
// scrambled variant; bytes after the code block are ignored (trailing_size).
struct ScriptImage {
  ScriptVariant variant = ScriptVariant::Plain;
  uint32_t entry_offset = kNoEntry;
  uint32_t line_count = 0;  // as the file claims; load_script cuts it to kMaxLineCount
  std::vector<FunctionEntry> functions;
  std::span<const uint8_t> code;
  size_t trailing_size = 0;
};

// Checks the magic, then every count and size against the bytes left, then the
// entry and function offsets against the code size. Never reads outside file.
[[nodiscard]] ImageStatus parse_script_image(std::span<const uint8_t> file, ScriptImage& image);

// XORs code with the 1024-byte image of the name-hash table, block by block
// (a final partial block uses the first bytes of the image). Its own inverse.
void scramble_code(std::span<uint8_t> code);

// A code block holding a descrambled copy of the image's code.
std::unique_ptr<CodeBlock> make_code_block(const ScriptImage& image);

// ---- Loaded scripts ----

// The record name of a script: file-name part only, ".tvo" appended, upper
// case (double-byte characters untouched). Names longer than 127 bytes are
// reported and cut.
std::string normalize_script_name(Machine& machine, std::string_view name);
// The same without a report: nothing for a name longer than 127 bytes.
std::optional<std::string> script_record_name(Machine& machine, std::string_view name);

// Loads a script or returns the loaded record (reloading it when the loose
// file's time changed). Failures show the fatal retry box and try again; null
// only when the engine is stopping.
LoadedScript* load_script(Machine& machine, std::string_view name);
// The same without any box: null for a name that is too long, a missing or
// unreadable file or a damaged image (a loaded record then keeps its code).
LoadedScript* try_load_script(Machine& machine, std::string_view name);

// The code position of the function with that name hash: the script that
// owns current is searched first (current may be null), then every loaded
// script newest first. Null when no script defines it.
const uint8_t* find_function(Machine& machine, uint32_t hash, const CodeBlock* current);

// The code block (current or retired) that contains position, or null.
const CodeBlock* code_block_at(const Machine& machine, const uint8_t* position);
LoadedScript* script_at(const Machine& machine, const uint8_t* position);

// Frees every loaded script with its code (at shutdown). Read-mark sets stay.
void free_all_scripts(Machine& machine);

// The read-mark set of a normalized script name, or null.
ReadMarkSet* find_read_mark_set(Machine& machine, std::string_view normalized_name);

}  // namespace tavelo::script
