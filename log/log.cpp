#include "log/log.h"

#include "host/asa_api.h"

std::shared_ptr<spdlog::logger>& PluginLogHolder() {
  static std::shared_ptr<spdlog::logger> holder;
  return holder;
}

void CreatePluginLog(std::shared_ptr<spdlog::logger>& holder, const std::string& name) {
  const auto& sinks = GetLogSinks();
  // Shares the host's sink objects as they are listed now; later changes to the host's
  // list do not reach this logger.
  holder = std::make_shared<spdlog::logger>(name, sinks.begin(), sinks.end());
  holder->set_pattern("%D %R [%n][%l] %v", spdlog::pattern_time_type::local);
  holder->flush_on(spdlog::level::info);
}
