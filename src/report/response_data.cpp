#include "report/response_data.h"

namespace vandorak::report {

const char* component_name(int c) {
  static constexpr const char* kNames[kComponentCount] = {"x", "y", "z", "rx", "ry", "rz"};
  return c >= 0 && c < kComponentCount ? kNames[c] : "?";
}

}  // namespace vandorak::report
