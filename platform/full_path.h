#pragma once
// Full-path expansion: a path made absolute against the current folder, with
// "." and ".." resolved lexically and repeated separators folded. Symbolic links
// are not resolved. Input and output are CP932; the output uses "/".

#include <string>
#include <string_view>

namespace vedo {

std::string fullPath(std::string_view path);

}  // namespace vedo
