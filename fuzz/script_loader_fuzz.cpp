// Arbitrary bytes as a compiled script: the loader's image parser, the code
// block it would build, and the disassembler, whose output must assemble back
// to the very same bytes.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "script/dispatch.h"
#include "script/loader.h"
#include "tools/assembler/assembler.h"

namespace {

struct Tools {
  std::unique_ptr<tavelo::platform::TextEncoding> encoding = tavelo::platform::TextEncoding::create("CP932");
  tavelo::script::SyscallTable syscalls;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo;
  // Built once: opening the code-page converters for every input would
  // dominate the run.
  static const Tools tools_state;
  std::span<const uint8_t> file(data, size);

  script::ScriptImage image;
  if (script::parse_script_image(file, image) == script::ImageStatus::Ok) {
    std::unique_ptr<script::CodeBlock> block = script::make_code_block(image);
    if (block->size != image.code.size()) std::abort();
    uint32_t sum = 0;
    for (const script::FunctionEntry& function : image.functions) sum += block->begin()[function.offset];
    if (image.entry_offset != script::kNoEntry) sum += block->begin()[image.entry_offset];
    for (size_t i = 0; i < script::kCodePadding; ++i) sum += block->end()[i];
    if (sum == 0xFFFFFFFFu) std::abort();  // keeps the reads
  }

  tools::AssemblerContext context{tools_state.encoding.get(), &tools_state.syscalls};
  std::string text = tools::disassemble(file, context);
  tools::AssemblyResult again = tools::assemble(text, context);
  if (!again.ok() || again.bytes != std::vector<uint8_t>(file.begin(), file.end())) std::abort();
  return 0;
}
