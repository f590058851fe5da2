// The debugger link's frames and records.

#include "library/debug_link.h"

#include <algorithm>

#include "resources/byte_reader.h"

namespace tavelo::library {
namespace {

constexpr size_t kMessageBody = 1 + 4 + 4 + 4;
constexpr size_t kCopyDataHead = 1 + 4 + 4;
constexpr size_t kBreakReportSize = 72;
constexpr size_t kScriptField = 64;
constexpr size_t kValueRecordSize = 16;

std::vector<uint8_t> finish_frame(resources::ByteWriter& writer) {
  writer.patch_u32le(0, uint32_t(writer.bytes.size() - 4));
  return std::move(writer.bytes);
}

resources::ByteWriter start_frame(FrameKind kind) {
  resources::ByteWriter writer;
  writer.u32le(0);
  writer.u8(uint8_t(kind));
  return writer;
}

}  // namespace

std::vector<uint8_t> encode_message(uint32_t code, int32_t w, int32_t l, std::span<const uint8_t> block) {
  resources::ByteWriter writer = start_frame(FrameKind::Message);
  writer.u32le(code);
  writer.i32le(w);
  writer.i32le(l);
  writer.append(block.first(std::min<size_t>(block.size(), kMaxLinkFrame - kMessageBody)));
  return finish_frame(writer);
}

std::vector<uint8_t> encode_reply(uint32_t code, int32_t value) {
  resources::ByteWriter writer = start_frame(FrameKind::Reply);
  writer.u32le(code);
  writer.i32le(value);
  return finish_frame(writer);
}

std::vector<uint8_t> encode_copy_data(uint32_t tag, std::span<const uint8_t> data) {
  data = data.first(std::min<size_t>(data.size(), kMaxLinkFrame - kCopyDataHead));
  resources::ByteWriter writer = start_frame(FrameKind::CopyData);
  writer.u32le(tag);
  writer.u32le(uint32_t(data.size()));
  writer.append(data);
  return finish_frame(writer);
}

FrameRead read_link_frame(std::vector<uint8_t>& pending, LinkFrame& frame) {
  if (pending.size() < 4) return FrameRead::NeedMore;
  uint32_t length = resources::load_u32le(pending.data());
  if (length == 0 || length > kMaxLinkFrame) return FrameRead::Broken;
  if (pending.size() - 4 < length) return FrameRead::NeedMore;

  resources::ByteReader reader(std::span<const uint8_t>(pending).subspan(4, length));
  frame = {};
  frame.kind = FrameKind(reader.u8());
  switch (frame.kind) {
    case FrameKind::Message: {
      frame.code = reader.u32le();
      frame.w = reader.i32le();
      frame.l = reader.i32le();
      std::span<const uint8_t> block = reader.take(reader.remaining());
      frame.data.assign(block.begin(), block.end());
      break;
    }
    case FrameKind::Reply:
      frame.code = reader.u32le();
      frame.l = reader.i32le();
      if (reader.remaining() != 0) return FrameRead::Broken;
      break;
    case FrameKind::CopyData: {
      frame.tag = reader.u32le();
      uint32_t size = reader.u32le();
      if (!reader.ok || size != reader.remaining()) return FrameRead::Broken;
      std::span<const uint8_t> data = reader.take(size);
      frame.data.assign(data.begin(), data.end());
      break;
    }
    default: return FrameRead::Broken;
  }
  if (!reader.ok) return FrameRead::Broken;
  pending.erase(pending.begin(), pending.begin() + 4 + length);
  return FrameRead::Frame;
}

std::vector<uint8_t> encode_break_report(const BreakReport& report) {
  resources::ByteWriter writer;
  std::string_view name(report.script);
  name = name.substr(0, kScriptField - 1);
  writer.append(name);
  writer.bytes.resize(kScriptField, 0);
  writer.u32le(0);  // reserved
  writer.i32le(report.line);
  return std::move(writer.bytes);
}

std::optional<BreakReport> decode_break_report(std::span<const uint8_t> data) {
  if (data.size() != kBreakReportSize) return std::nullopt;
  resources::ByteReader reader(data);
  std::span<const uint8_t> field = reader.take(kScriptField);
  size_t length = size_t(std::find(field.begin(), field.end(), uint8_t(0)) - field.begin());
  BreakReport report;
  report.script.assign(reinterpret_cast<const char*>(field.data()), length);
  reader.skip(4);
  report.line = reader.i32le();
  return report;
}

std::vector<uint8_t> encode_variable(const VariableRecord& record) {
  resources::ByteWriter writer;
  writer.u32le(record.hash);
  writer.i32le(record.type);
  writer.i32le(record.scope);
  writer.u32le(record.type == 2 ? uint32_t(record.text.size()) : record.payload);
  if (record.type == 2) writer.append(record.text);
  return std::move(writer.bytes);
}

std::optional<VariableRecord> decode_variable(std::span<const uint8_t> data) {
  resources::ByteReader reader(data);
  VariableRecord record;
  record.hash = reader.u32le();
  record.type = reader.i32le();
  record.scope = reader.i32le();
  record.payload = reader.u32le();
  if (!reader.ok) return std::nullopt;
  if (record.type == 2) {
    if (record.payload != reader.remaining()) return std::nullopt;
    std::span<const uint8_t> text = reader.take(record.payload);
    record.text.assign(text.begin(), text.end());
  } else if (data.size() != kValueRecordSize) {
    return std::nullopt;
  }
  return record;
}

std::optional<std::span<const uint8_t>> echo_data(std::span<const uint8_t> block) {
  resources::ByteReader reader(block);
  reader.skip(8);
  uint32_t size = reader.u32le();
  if (!reader.ok || size > reader.remaining()) return std::nullopt;
  return reader.take(size);
}

}  // namespace tavelo::library
