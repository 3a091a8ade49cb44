#include "common/run_state.h"

namespace vandorak {

RunState::~RunState() {
  for (FileUnit& unit : units.units) {
    if (unit.stream != nullptr) {
      std::fclose(unit.stream);
      unit.stream = nullptr;
    }
  }
}

double acceleration_divisor(ResponseKind kind, int unit_answer) {
  return kind == ResponseKind::acceleration && unit_answer == 1 ? 386.0 : 1.0;
}

}  // namespace vandorak
