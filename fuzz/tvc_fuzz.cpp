// Arbitrary text as a script source for tvc: lexing, parsing (with imports
// of a fixed library and of the input itself), checking and code
// generation must end without a crash, a hang or unbounded memory, and
// whatever compiles must be a compiled script the engine's loader accepts.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "script/loader.h"
#include "tools/tvc/compiler.h"
#include "tools/tvc/syscall_lookup.h"

namespace {

constexpr const char* kLibrary = R"(
const LIMIT = 10;
global shared: int;
event ping(n: int);
function twice(s: string): string { return s + s; }
function bump() { shared += LIMIT; }
)";

struct Tools {
  std::unique_ptr<tavelo::platform::TextEncoding> encoding = tavelo::platform::TextEncoding::create("CP932");
  std::unique_ptr<tavelo::tools::tvc::SyscallLookup> syscalls = tavelo::tools::tvc::engine_syscall_lookup();
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavelo;
  static const Tools tools_state;
  std::string source(reinterpret_cast<const char*>(data), size);
  tools::tvc::CompileOptions options;
  options.encoding = tools_state.encoding.get();
  options.syscalls = tools_state.syscalls.get();
  options.lines = size % 2 ? tools::tvc::LineMode::Text : tools::tvc::LineMode::All;
  options.read_file = [&source](const std::string& path) -> std::optional<std::string> {
    if (path == "src/lib.tvs") return std::string(kLibrary);
    if (path == "src/start.tvs") return source;
    return std::nullopt;
  };
  tools::tvc::Compilation compilation(options);
  std::optional<std::vector<uint8_t>> bytes = compilation.compile_text("src/start.tvs", source);
  std::string report = compilation.report();
  if (bytes) {
    script::ScriptImage image;
    if (script::parse_script_image(*bytes, image) != script::ImageStatus::Ok) std::abort();
  } else if (compilation.diagnostics().errors == 0) {
    std::abort();  // a failed compilation always says why
  }
  return 0;
}
