// How fast tvc compiles: a generated source of 100 000 lines (functions with
// locals, loops, conditions, switches, calls, arrays, strings, globals and
// story text), compiled in-process from text to the compiled script's bytes.
// The whole-file time is what an author waits for.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/text_encoding.h"
#include "tools/tvc/compiler.h"
#include "tools/tvc/syscall_lookup.h"

namespace {

// One function of 25 lines; `n` makes its names unique.
void append_function(std::string& out, int n) {
  std::string id = std::to_string(n);
  out += "function f" + id + "(a: int, s: string): int {\n";
  out += "    var total = a;\n";
  out += "    var text = s + \"" + id + "\";\n";
  out += "    for (var i = 0; i < 10; i++) {\n";
  out += "        if (i % 3 == 0 && total > 5) total += i * 2; else total -= 1;\n";
  out += "        table[i % 8] = total;\n";
  out += "    }\n";
  out += "    switch (total % 4) {\n";
  out += "    case 0: total += 1; break;\n";
  out += "    case 1: case 2: total *= 2; break;\n";
  out += "    default: total = -total;\n";
  out += "    }\n";
  out += "    while (total > 1000) total /= 2;\n";
  out += "    score += total;\n";
  out += "    if (text == \"x\") debug_print(text, total);\n";
  out += "    \"\"\"\n";
  out += "    第" + id + "場面。点数は${score}点。\n";
  out += "    太郎「行こう」\n";
  out += "\n";
  out += "    次のページ。\n";
  out += "    \"\"\"\n";
  out += n > 0 ? "    return total + f" + std::to_string(n - 1) + "(1, \"a\");\n" : "    return total;\n";
  out += "}\n";
  out += "\n";
}

std::string generated_source(int lines) {
  std::string source = "global score: int;\nglobal table: int[];\nconst LIMIT = 100;\n\n";
  constexpr int kFunctionLines = 24;
  for (int n = 0, written = 4; written + kFunctionLines <= lines - 3; written += kFunctionLines) append_function(source, n++);
  source += "function init() {}\n\nfunction main() { table = new int[8]; debug_print(f0(1, \"b\")); }\n";
  return source;
}

void BM_Compile100kLines(benchmark::State& state) {
  std::unique_ptr<tavelo::platform::TextEncoding> encoding = tavelo::platform::TextEncoding::create("CP932");
  std::unique_ptr<tavelo::tools::tvc::SyscallLookup> syscalls = tavelo::tools::tvc::engine_syscall_lookup();
  std::string source = generated_source(100000);
  size_t bytes = 0;
  for (auto _ : state) {
    tavelo::tools::tvc::CompileOptions options;
    options.encoding = encoding.get();
    options.syscalls = syscalls.get();
    tavelo::tools::tvc::Compilation compilation(options);
    std::optional<std::vector<uint8_t>> compiled = compilation.compile_text("generated.tvs", source);
    if (!compiled) {
      state.SkipWithError(compilation.report().substr(0, 400).c_str());
      return;
    }
    bytes = compiled->size();
    benchmark::DoNotOptimize(compiled);
  }
  state.counters["lines"] = double(std::count(source.begin(), source.end(), '\n'));
  state.counters["source_kb"] = double(source.size()) / 1024;
  state.counters["output_kb"] = double(bytes) / 1024;
}
BENCHMARK(BM_Compile100kLines)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
