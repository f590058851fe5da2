#pragma once
// The debugger link's wire format: the message codes, replies and copy-data
// records the engine and an external debugger (tools/tvdbg) exchange over a
// loopback TCP connection. Every unit is one frame: a little-endian u32 body
// length (1..kMaxLinkFrame), then the body, whose first byte says what it
// carries. Both sides parse what they receive with read_link_frame, which
// refuses a frame that is too long or malformed; the receiver then drops the
// connection. Pure functions over bytes (no sockets), shared by the engine,
// the tool and the fuzz target. docs/debugging.md draws the layout.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavelo::library {

// The longest frame body accepted, in bytes. Only an echo carries more than a
// few dozen bytes.
inline constexpr uint32_t kMaxLinkFrame = 65536;

// Messages. Engine -> debugger: hello (w: the engine's process id), goodbye,
// ready. Debugger -> engine: the rest.
enum LinkCode : uint32_t {
  kLinkHello = 0xA000,
  kLinkGoodbye = 0xA001,
  kLinkReady = 0xA002,
  kLinkResume = 0xA003,
  kLinkAddBreakpoint = 0xA004,     // w script hash, l line
  kLinkClearBreakpoints = 0xA005,
  kLinkStepOver = 0xA007,
  kLinkStep = 0xA008,
  kLinkStepIn = 0xA009,
  kLinkContinue = 0xA00A,
  kLinkShutDown = 0xA00B,
  kLinkRemoveBreakpoint = 0xA00C,  // w script hash, l line
  kLinkBreakNext = 0xA00D,
  kLinkSendVariable = 0xA00E,      // w name hash
  kLinkEcho = 0xA00F,              // block: size at offset 8, data from offset 12
  kLinkSendLocal = 0xA011,         // w local slot
  kLinkLocalValue = 0xA012,        // w local slot
  kLinkVariableValue = 0xA013,     // w name hash
  kLinkCompileDone = 0x9002,       // the script compiler finished: reload when waiting
  kLinkCompileCancelled = 0x9003,  // forget the pending compile
};

// Copy-data tags.
enum LinkTag : uint32_t { kTagBreak = 0, kTagVariable = 1, kTagEcho = 2 };

enum class FrameKind : uint8_t { Message = 1, Reply = 2, CopyData = 3 };

struct LinkFrame {
  FrameKind kind = FrameKind::Message;
  uint32_t code = 0;   // Message, Reply: the message code
  int32_t w = 0;       // Message: first parameter
  int32_t l = 0;       // Message: second parameter; Reply: the reply value
  uint32_t tag = 0;    // CopyData
  std::vector<uint8_t> data;  // Message: the block (echo); CopyData: the record
};

std::vector<uint8_t> encode_message(uint32_t code, int32_t w, int32_t l, std::span<const uint8_t> block = {});
std::vector<uint8_t> encode_reply(uint32_t code, int32_t value);
std::vector<uint8_t> encode_copy_data(uint32_t tag, std::span<const uint8_t> data);

enum class FrameRead { Frame, NeedMore, Broken };

// Takes the first whole frame off the front of pending. Broken: a length of 0
// or above kMaxLinkFrame, an unknown kind, or a body that does not match its
// kind; nothing more can be read from that connection.
FrameRead read_link_frame(std::vector<uint8_t>& pending, LinkFrame& frame);

// Break report (tag 0, 72 bytes): script name NUL-padded to 64 bytes (at most
// 63 characters), 4 reserved bytes, i32 line.
struct BreakReport {
  std::string script;
  int32_t line = 0;
};
std::vector<uint8_t> encode_break_report(const BreakReport& report);
std::optional<BreakReport> decode_break_report(std::span<const uint8_t> data);

// Variable (tag 1): the 16-byte value record {u32 name hash, i32 type, i32
// scope, 32-bit payload}. An int or float payload is the value; a string's
// payload is its length in bytes and its text follows the record (so a string
// can be shown in another process); an array's is its element count.
struct VariableRecord {
  uint32_t hash = 0;
  int32_t type = 0;   // 0 int, 1 float, 2 string, 3..5 arrays; -1 missing
  int32_t scope = 0;
  uint32_t payload = 0;
  std::string text;   // strings only, game code page
};
std::vector<uint8_t> encode_variable(const VariableRecord& record);
std::optional<VariableRecord> decode_variable(std::span<const uint8_t> data);

// An echo block's data: size at offset 8, data from offset 12; nullopt when
// the size runs past the block.
std::optional<std::span<const uint8_t>> echo_data(std::span<const uint8_t> block);

}  // namespace tavelo::library
