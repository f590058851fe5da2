// The assembler and disassembler: encodings, round trips and error reports.

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "platform/text_encoding.h"
#include "resources/byte_reader.h"
#include "resources/name_hash.h"
#include "script/dispatch.h"
#include "script/loader.h"
#include "script/opcodes.h"
#include "tests/support/test_engine.h"
#include "tools/assembler/assembler.h"

namespace tavelo {
namespace {

using testing::sjis;

// A context with an empty system-call table, so results do not depend on
// which subsystems have registered names.
struct Context {
  std::unique_ptr<platform::TextEncoding> encoding = platform::TextEncoding::create("CP932");
  script::SyscallTable syscalls;
  tools::AssemblerContext get() const { return {encoding.get(), &syscalls}; }
};

std::vector<uint8_t> assemble_ok(std::string_view source, const Context& context) {
  tools::AssemblyResult result = tools::assemble(source, context.get());
  EXPECT_TRUE(result.ok()) << tools::format_errors(result, "source");
  return result.bytes;
}

script::ScriptImage parse_ok(const std::vector<uint8_t>& file) {
  script::ScriptImage image;
  EXPECT_EQ(script::parse_script_image(file, image), script::ImageStatus::Ok);
  return image;
}

// The descrambled code of an assembled file.
std::vector<uint8_t> code_of(const std::vector<uint8_t>& file) {
  script::ScriptImage image = parse_ok(file);
  std::unique_ptr<script::CodeBlock> block = script::make_code_block(image);
  return std::vector<uint8_t>(block->begin(), block->end());
}

void expect_round_trip(const std::vector<uint8_t>& file, const Context& context) {
  std::string text = tools::disassemble(file, context.get());
  tools::AssemblyResult again = tools::assemble(text, context.get());
  ASSERT_TRUE(again.ok()) << tools::format_errors(again, "disassembly") << text;
  EXPECT_EQ(again.bytes, file) << text;
}

std::string read_text(const std::string& path) {
  std::vector<uint8_t> bytes = testing::read_bytes(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Tvoasm, writes_header_table_and_code_little_endian) {
  Context context;
  std::vector<uint8_t> file = assemble_ok(
      ".line_count 9\n"
      ".entry main\n"
      ".function \"$main@GLOBAL\" main\n"
      ".function 0xCAFEBABE 2\n"
      "    return\n"
      "main: push_int 0x11223344\n",
      context);
  resources::ByteReader reader(file);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(reader.take(16).data()), 16), script::kPlainMagic);
  EXPECT_EQ(reader.u32le(), 2u);  // entry: after the 2-byte return
  EXPECT_EQ(reader.u32le(), 9u);
  EXPECT_EQ(reader.u32le(), 2u);
  EXPECT_EQ(reader.u32le(), resources::name_hash("$main@GLOBAL"));
  EXPECT_EQ(reader.u32le(), 2u);
  EXPECT_EQ(reader.u32le(), 0xCAFEBABEu);
  EXPECT_EQ(reader.u32le(), 2u);
  EXPECT_EQ(reader.u32le(), 8u);  // code size
  EXPECT_EQ(reader.u16le(), 0x82Bu);
  EXPECT_EQ(reader.u16le(), 0x800u);
  EXPECT_EQ(reader.u32le(), 0x11223344u);
  EXPECT_TRUE(reader.ok);
  EXPECT_TRUE(reader.at_end());
}

TEST(Tvoasm, encodes_operand_forms) {
  Context context;
  struct Case {
    const char* source;
    std::vector<uint8_t> code;
  };
  const uint32_t x = resources::name_hash("@x@GLOBAL");
  auto le32 = [](uint32_t v) {
    return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  };
  auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const std::vector<uint8_t>& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
  };
  const Case cases[] = {
      // Jumps are relative to the end of their offset field.
      {"a: jump a", {0x2C, 0x08, 0xFA, 0xFF, 0xFF, 0xFF}},
      {"jump b\nb:", {0x2C, 0x08, 0, 0, 0, 0}},
      {"jump -2", {0x2C, 0x08, 0xFE, 0xFF, 0xFF, 0xFF}},
      // Jump-table entries are relative to the end of each entry.
      {"t: jump_table t t", {0x50, 0x08, 2, 0, 0xF8, 0xFF, 0xFF, 0xFF, 0xF4, 0xFF, 0xFF, 0xFF}},
      {"push_float -2", {0x03, 0x08, 0, 0, 0, 0xC0}},
      {"push_int -1", {0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"push_string \"ab\"", {0x01, 0x08, 3, 0, 'a', 'b', 0}},
      {"text \"ab\" unterminated", {0x40, 0x08, 2, 0, 'a', 'b'}},
      {"push_string \"\\x81\\x40\\n\"", {0x01, 0x08, 4, 0, 0x81, 0x40, '\n', 0}},
      // Flags: post_inc 3 | neg 8 | global 1<<5 | float 1<<8 | 2 subscripts << 11.
      {"load_elem global float subscripts:2 post_inc neg \"@x@GLOBAL\" slot:-1",
       join({{0x37, 0x08, 0x2B, 0x11}, le32(x), {0xFF, 0xFF}})},
      {"set_int_pop local slot:4", {0x10, 0x02, 0x60, 0x00, 0, 0, 0, 0, 4, 0}},
      {"call 0x01020304 3 cache:5", {0x0F, 0x08, 4, 3, 2, 1, 5, 0, 0, 0, 3, 0}},
      {"syscall_discard 0xA62AA5EB 2", {0x35, 0x08, 0xEB, 0xA5, 0x2A, 0xA6, 2, 0}},
      {"params int string_array 9", {0x36, 0x08, 3, 0, 0, 5, 9}},
      {"line 300", {0x3A, 0x08, 0x2C, 0x01}},
      {".bytes 1 0xFF \"A\"", {1, 0xFF, 'A'}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(code_of(assemble_ok(c.source, context)), c.code) << c.source;
  }
  // Japanese text is converted to the code page, then hashed or stored.
  std::string name = sjis("@変数@GLOBAL");
  EXPECT_EQ(code_of(assemble_ok("load global \"@変数@GLOBAL\"", context)),
            join({{0x02, 0x08, 0x20, 0x00}, le32(resources::name_hash(name)), {0, 0}}));
  std::string kana = sjis("かな");
  std::vector<uint8_t> expected = {0x01, 0x08, uint8_t(kana.size() + 1), 0};
  expected.insert(expected.end(), kana.begin(), kana.end());
  expected.push_back(0);
  EXPECT_EQ(code_of(assemble_ok("push_string \"かな\"", context)), expected);
}

TEST(Tvoasm, line_count_defaults_to_highest_line_plus_one) {
  Context context;
  EXPECT_EQ(parse_ok(assemble_ok("line 4\nline 12\nline 3", context)).line_count, 13u);
  EXPECT_EQ(parse_ok(assemble_ok("return", context)).line_count, 0u);
  EXPECT_EQ(parse_ok(assemble_ok(".line_count 2\nline 12", context)).line_count, 2u);
}

TEST(Tvoasm, scrambled_variant_descrambles_to_the_plain_code) {
  Context context;
  std::string body = ".entry f\n.function 7 f\nf: push_string \"scrambled text\"\n.bytes";
  for (int i = 0; i < 1500; ++i) body += " " + std::to_string(i % 251);
  body += "\nreturn\n";
  std::vector<uint8_t> plain = assemble_ok(body, context);
  std::vector<uint8_t> scrambled = assemble_ok(".variant scrambled\n" + body, context);
  ASSERT_EQ(plain.size(), scrambled.size());
  EXPECT_EQ(parse_ok(scrambled).variant, script::ScriptVariant::Scrambled);
  EXPECT_NE(plain, scrambled);
  EXPECT_EQ(code_of(plain), code_of(scrambled));
  // Header and function table stay in the clear.
  EXPECT_TRUE(std::equal(plain.begin() + 16, plain.begin() + 40, scrambled.begin() + 16));
}

TEST(Tvoasm, header_overrides_write_lying_fields) {
  Context context;
  std::vector<uint8_t> file = assemble_ok(
      ".magic \"TaveloObjV1.000\\x01\"\n.function_count 1000\n.code_size 99\n.entry 77\nreturn\n.trailer 5 6",
      context);
  resources::ByteReader reader(file);
  std::span<const uint8_t> magic = reader.take(16);
  EXPECT_EQ(magic[15], 1);
  EXPECT_EQ(reader.u32le(), 77u);
  reader.u32le();
  EXPECT_EQ(reader.u32le(), 1000u);
  EXPECT_EQ(reader.u32le(), 99u);
  EXPECT_EQ(reader.u16le(), 0x82Bu);
  EXPECT_EQ(reader.u8(), 5);
  EXPECT_EQ(reader.u8(), 6);
  EXPECT_TRUE(reader.at_end());
}

TEST(Tvoasm, reports_errors_with_line_numbers) {
  Context context;
  struct Case {
    const char* source;
    int line;
    const char* fragment;
  };
  const Case cases[] = {
      {"return\nfrobnicate", 2, "unknown mnemonic"},
      {"push_int", 1, "operand"},
      {"\n\npush_int 4294967296", 3, "out of range"},
      {"jump nowhere", 1, "undefined label"},
      {".entry nowhere", 1, "undefined label"},
      {"a:\na:", 2, "defined twice"},
      {"load int \"@x\"", 1, "scope"},
      {"load global global 1", 1, "twice"},
      {"load global 1 2", 1, "twice"},
      {"load global subscripts:32 1", 1, "bad value"},
      {"load global slot:70000 1", 1, "slot"},
      {"push_string \"abc", 1, "unterminated"},
      {"push_string \"\\q\"", 1, "escape"},
      {"push_string \"\\x4\"", 1, "two hexadecimal"},
      {"push_string \"\u00e9\u0101\"", 1, "code page"},
      {"push_string \"a\" terminated", 1, "unterminated"},
      {"syscall no_such_call 1", 1, "unknown system call"},
      {"push_float 1.5x", 1, "float"},
      {"line -1", 1, "out of range"},
      {".variant shuffled", 1, "plain or scrambled"},
      {".magic \"12345678901234567\"", 1, "16"},
      {".frobnicate", 1, "unknown directive"},
      {"call \"$f@GLOBAL\" 1 cache", 1, "cache"},
      {".bytes 256", 1, "out of range"},
  };
  for (const Case& c : cases) {
    tools::AssemblyResult result = tools::assemble(c.source, context.get());
    ASSERT_FALSE(result.ok()) << c.source;
    EXPECT_TRUE(result.bytes.empty());
    EXPECT_EQ(result.errors[0].line, c.line) << c.source;
    EXPECT_NE(result.errors[0].message.find(c.fragment), std::string::npos)
        << c.source << " gave: " << result.errors[0].message;
  }
}

TEST(Tvoasm, names_system_calls_from_the_table) {
  Context context;
  script::SyscallHandler handler = nullptr;
  context.syscalls.entries = {{0x11111111, "first_call", handler},
                              {0x22222222, "", handler},
                              // A name used by two keys only leads back to the first.
                              {0x33333333, "twice", handler},
                              {0x44444444, "twice", handler}};
  std::vector<uint8_t> file = assemble_ok("syscall first_call 1\nsyscall 0x22222222 0\nsyscall twice 2", context);
  std::vector<uint8_t> code = code_of(file);
  EXPECT_EQ(resources::load_u32le(code.data() + 2), 0x11111111u);
  EXPECT_EQ(resources::load_u32le(code.data() + 18), 0x33333333u);
  std::string text = tools::disassemble(assemble_ok("syscall 0x11111111 1\nsyscall 0x22222222 0\n"
                                                    "syscall 0x44444444 2",
                                                    context),
                                        context.get());
  EXPECT_NE(text.find("syscall first_call 1"), std::string::npos) << text;
  EXPECT_NE(text.find("syscall 0x22222222 0"), std::string::npos) << text;
  EXPECT_NE(text.find("syscall 0x44444444 2"), std::string::npos) << text;
}

// The fixture holds every opcode and operand form in canonical form.
TEST(Tvodis, canonical_source_survives_assembly_and_disassembly_unchanged) {
  Context context;
  std::string source = read_text(std::string(TAVELO_SOURCE_DIR) + "/tests/tools/tvo_canonical.tvoasm");
  ASSERT_FALSE(source.empty());
  for (const script::OpcodeInfo& info : script::kOpcodeInfo) {
    std::string line = "    " + std::string(info.mnemonic);
    bool present = source.find(line + "\n") != std::string::npos || source.find(line + " ") != std::string::npos;
    EXPECT_TRUE(present) << "the fixture lacks " << info.mnemonic;
  }
  std::vector<uint8_t> file = assemble_ok(source, context);
  EXPECT_EQ(tools::disassemble(file, context.get()), source);
  std::string scrambled_source = source;
  size_t variant = scrambled_source.find(".variant plain\n");
  ASSERT_NE(variant, std::string::npos);
  scrambled_source.replace(variant, 14, ".variant scrambled");
  std::vector<uint8_t> scrambled = assemble_ok(scrambled_source, context);
  EXPECT_EQ(tools::disassemble(scrambled, context.get()), scrambled_source);
  expect_round_trip(scrambled, context);
}

TEST(Tvodis, reassembles_any_bytes_identically) {
  Context context;
  std::vector<uint8_t> valid = assemble_ok(
      ".entry m\n.function 3 m\nm: line 1\npush_string \"ソース\"\njump_table m m\ncall 1 0\nreturn", context);
  std::vector<std::vector<uint8_t>> files;
  // Every prefix of a valid file: truncated headers, tables and code.
  for (size_t size = 0; size <= valid.size(); ++size) files.emplace_back(valid.begin(), valid.begin() + long(size));
  std::vector<uint8_t> bad_magic = valid;
  bad_magic[15] = '!';
  files.push_back(bad_magic);
  std::vector<uint8_t> bad_offset = valid;
  bad_offset[16] = 0xF0;  // entry far outside the code
  files.push_back(bad_offset);
  std::vector<uint8_t> trailing = valid;
  trailing.insert(trailing.end(), {0, 1, 2});
  files.push_back(trailing);
  files.push_back(assemble_ok(".variant scrambled\n.bytes 0x00 0x08 0x01", context));
  std::mt19937 random(1234);
  for (int i = 0; i < 50; ++i) {
    std::vector<uint8_t> noise = valid;
    // Keep the header intact so that the code, not the raw image, gets the noise.
    for (size_t j = 40; j < noise.size(); ++j) noise[j] = uint8_t(random());
    files.push_back(noise);
    std::vector<uint8_t> garbage(random() % 64);
    for (uint8_t& byte : garbage) byte = uint8_t(random());
    files.push_back(garbage);
  }
  for (const std::vector<uint8_t>& file : files) expect_round_trip(file, context);
}

TEST(Tvodis, writes_labels_only_at_instruction_starts) {
  Context context;
  std::string text = tools::disassemble(
      assemble_ok(".entry 1\n.function 9 0\nstart: push_int 5\njump start\njump +1\njump -3\n", context),
      context.get());
  EXPECT_NE(text.find(".entry 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find(".function 0x00000009 L0000\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    jump L0000\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    jump +1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    jump -3\n"), std::string::npos) << text;
}

TEST(Tvotools, command_line_programs) {
  testing::TempDirectory directory;
  std::string source = directory.write("main.tvoasm", ".entry m\nm: push_string \"あ\"\nreturn\n");
  std::string asm_tool = testing::tool_path("tvoasm");
  std::string dis_tool = testing::tool_path("tvodis");
  std::string out = directory.at("main.tvo");

  EXPECT_EQ(testing::run_command(asm_tool + " --help").exit_status, 0);
  EXPECT_EQ(testing::run_command(dis_tool + " --help").exit_status, 0);
  EXPECT_EQ(testing::run_command(asm_tool + " " + source).exit_status, 1);  // no -o

  ASSERT_EQ(testing::run_command(asm_tool + " " + source + " -o " + out).exit_status, 0);
  testing::ProcessResult listing = testing::run_command(dis_tool + " " + out);
  EXPECT_EQ(listing.exit_status, 0);
  EXPECT_NE(listing.output.find("push_string \"あ\""), std::string::npos) << listing.output;

  std::string again = directory.at("again.tvoasm");
  ASSERT_EQ(testing::run_command(dis_tool + " " + out + " -o " + again).exit_status, 0);
  std::string out2 = directory.at("again.tvo");
  ASSERT_EQ(testing::run_command(asm_tool + " " + again + " -o " + out2).exit_status, 0);
  EXPECT_EQ(testing::read_bytes(out), testing::read_bytes(out2));

  std::string broken = directory.write("broken.tvoasm", "return\n\nfrobnicate 3\n");
  testing::ProcessResult failed = testing::run_command(asm_tool + " " + broken + " -o " + directory.at("x.tvo"));
  EXPECT_EQ(failed.exit_status, 1);
  EXPECT_NE(failed.output.find(":3: error: unknown mnemonic"), std::string::npos) << failed.output;
  EXPECT_EQ(testing::run_command(dis_tool + " " + directory.at("missing.tvo")).exit_status, 1);
  EXPECT_EQ(testing::run_command(asm_tool + " --codepage NOPE " + source + " -o " + out).exit_status, 1);
}

}  // namespace
}  // namespace tavelo
