#pragma once

#include <optional>
#include <string_view>

namespace skarvel {

/// A file of the dashboard built into the program at build time (dashboard.html, .css, .js,
/// and Debian's dygraph.min.js and .css): a page never needs the disk or the internet.
std::optional<std::string_view> embeddedAsset(std::string_view name);

}  // namespace skarvel
