// What the fuzz harnesses share: telling whether the engine moved, seeding it from an input,
// and a logger of the plugin's own making over one sink, kept aside so each input can put it
// in the plugin's holder.
#pragma once

#include <spdlog/logger.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>

#include "dice/engine.h"
#include "host/asa_api.h"
#include "log/log.h"

inline bool SameEngine(const EngineState& a, const EngineState& b) {
  return a.Position == b.Position && std::equal(std::begin(a.Words), std::end(a.Words), b.Words);
}

// The input's own seed: the same input always draws the same dice.
inline std::uint32_t Fnv1a(const std::uint8_t* data, std::size_t size) {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  return hash;
}

inline std::shared_ptr<spdlog::logger> PluginLogOver(std::shared_ptr<spdlog::sinks::sink> sink) {
  std::shared_ptr<spdlog::logger> log;
  GetLogSinks().assign({std::move(sink)});
  CreatePluginLog(log, "Rollmoot");
  GetLogSinks().clear();
  return log;
}
