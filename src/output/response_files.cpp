#include "output/response_files.h"

#include <array>
#include <cerrno>
#include <cstdio>

#include "output/number_format.h"

namespace vandorak {

namespace {

constexpr std::array<const char*, kUnitsPerKind> kAccelerationSuffixes = {
    "_acc.x",   "_acc.y",   "_acc.z",   "_acc.rx",   "_acc.ry",   "_acc.rz",
    "_acc2.x", "_acc2.y", "_acc2.z", "_acc2.rx", "_acc2.ry", "_acc2.rz"};
constexpr std::array<const char*, kUnitsPerKind> kDisplacementSuffixes = {
    "_dis.x",   "_dis.y",   "_dis.z",   "_dis.rx",   "_dis.ry",   "_dis.rz",
    "_dis2.x", "_dis2.y", "_dis2.z", "_dis2.rx", "_dis2.ry", "_dis2.rz"};

constexpr std::array<int, 2 * kUnitsPerKind> response_units() {
  std::array<int, 2 * kUnitsPerKind> units{};
  for (int k = 0; k < kUnitsPerKind; ++k) {
    units[static_cast<std::size_t>(k)] = kAccelerationFirstUnit + k;
    units[static_cast<std::size_t>(k + kUnitsPerKind)] = kDisplacementFirstUnit + k;
  }
  return units;
}
constexpr std::array<int, 2 * kUnitsPerKind> kResponseUnits = response_units();

}  // namespace

int first_unit(ResponseKind kind) {
  return kind == ResponseKind::acceleration ? kAccelerationFirstUnit : kDisplacementFirstUnit;
}

int open_response_files(FileUnitTable& units, std::int32_t node_id, const Console& console) {
  char id_text[24];
  std::snprintf(id_text, sizeof id_text, "%ld", static_cast<long>(node_id));
  for (int k = 0; k < kUnitsPerKind; ++k) {
    const auto index = static_cast<std::size_t>(k);
    units[kAccelerationFirstUnit + k].name.assign(id_text).append(kAccelerationSuffixes[index]);
    units[kDisplacementFirstUnit + k].name.assign(id_text).append(kDisplacementSuffixes[index]);
  }
  std::fprintf(console.out, "\n");
  for (int unit : kResponseUnits) {
    units[unit].stream = units.open(unit, "w");
    if (units[unit].stream == nullptr) return unit;
  }
  return 0;
}

int write_response_values(FileUnitTable& units, ResponseKind kind, float frequency,
                          const NodeRecord& record, double divisor) {
  const double magnitudes[6] = {record.translation[0], record.translation[1], record.translation[2],
                                record.rotation[0],    record.rotation[1],    record.rotation[2]};
  return write_response_magnitudes(units, kind, frequency, magnitudes, divisor);
}

int write_response_magnitudes(FileUnitTable& units, ResponseKind kind, float frequency, const double* magnitudes,
                              double divisor) {
  std::array<double, kUnitsPerKind> values{};
  for (std::size_t c = 0; c < 3; ++c) {
    values[c] = magnitudes[c] / divisor;
    values[c + 3] = magnitudes[c + 3];
  }
  for (std::size_t c = 0; c < 6; ++c) values[c + 6] = values[c] * values[c];

  // All twelve lines share the frequency's text.
  const int first = first_unit(kind);
  char line[kLineTextSize];
  const std::size_t prefix = prefix_response_line(static_cast<double>(frequency), line);
  for (int k = 0; k < kUnitsPerKind; ++k) {
    const std::size_t length = finish_response_line(values[static_cast<std::size_t>(k)], prefix, line);
    if (std::fwrite(line, 1, length, units[first + k].stream) != length) {
      units[first + k].error = errno;
      return first + k;
    }
  }
  if (units.observer != nullptr) units.observer->response_line(kind, frequency, values.data());
  return 0;
}

int close_response_files(FileUnitTable& units, const Console& console) {
  int failed = 0;
  for (int unit : kResponseUnits) {
    std::fprintf(console.out, "\n    %s ", units[unit].name.c_str());
    if (units[unit].stream == nullptr) continue;
    if (std::fclose(units[unit].stream) != 0 && failed == 0) {
      units[unit].error = errno;
      failed = unit;
    }
    units[unit].stream = nullptr;
  }
  return failed;
}

}  // namespace vandorak
