#pragma once
#include <string>
#include <vector>

namespace pellux::fakes {

using Journal = std::vector<std::string>;

}  // namespace pellux::fakes
