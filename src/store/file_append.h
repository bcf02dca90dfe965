#pragma once

#include <string>
#include <string_view>

namespace skarvel {

/// How far an append got, so that a caller which numbers its statements can name the one that
/// failed.
enum class AppendStage { Open, Write, Close };

/// appendToFile, telling through `stage` which step was running when it threw.
void appendToFile(const std::string& path, std::string_view bytes, AppendStage& stage);

}  // namespace skarvel
