// The pieces of a roll and of start-up, each on its own.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "config/config.h"
#include "dice/engine.h"
#include "host/ascii_conversion.h"
#include "log/log.h"
#include "simhost/server_layout.h"
#include "simhost/simhost.h"

namespace {

void BM_RollDie(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(RollDie(20));
}
BENCHMARK(BM_RollDie);

// 8 units fit the inline buffer; 500 take a host block.
void BM_AsciiConversion(benchmark::State& state) {
  simhost::Reset();
  const std::u16string text =
      state.range(0) <= 8
          ? std::u16string(u"/d20 100").substr(0, static_cast<std::size_t>(state.range(0)))
          : std::u16string(static_cast<std::size_t>(state.range(0)), u'x');
  for (auto _ : state) {
    const AsciiConversion narrow(text.c_str());
    benchmark::DoNotOptimize(narrow.Text);
  }
}
BENCHMARK(BM_AsciiConversion)->Arg(8)->Arg(500);

// A server directory holding the plugin's config.json, and the plugin's logger over the
// host's (empty) sinks, as Plugin_Init leaves them before it loads the configuration.
void BM_LoadConfig(benchmark::State& state) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "rollmoot-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const fs::path server = pattern;
  fs::create_directories(simhost::PluginFolder(server));
  std::ofstream(simhost::PluginFolder(server) / "config.json")
      << "{\n  \"SenderName\": \"Dice\"\n}";
  simhost::Reset();
  simhost::SetServerDir(server.string());
  GetLogSinks().clear();
  CreatePluginLog(PluginLogHolder(), "Rollmoot");

  for (auto _ : state) LoadConfig();

  PluginLogHolder().reset();
  simhost::SetServerDir(".");
  std::error_code ignored;
  fs::remove_all(server, ignored);
}
BENCHMARK(BM_LoadConfig);

}  // namespace
