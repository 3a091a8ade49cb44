// The 24 response files of one node: names, creation, lines, closing.
#pragma once

#include <cstdint>

#include "common/run_state.h"

namespace vandorak {

constexpr int kAccelerationFirstUnit = 1;
constexpr int kDisplacementFirstUnit = 31;
constexpr int kUnitsPerKind = 12;

// The first file unit of a kind's twelve (1 or 31).
int first_unit(ResponseKind kind);

// Names units 1-12 and 31-42 after node_id and creates the 24 files,
// emptying any earlier ones. Returns 0, or the unit that could not be
// created (the units before it are open).
int open_response_files(FileUnitTable& units, std::int32_t node_id, const Console& console);

// Writes one line to each of the kind's twelve files: the six magnitudes
// (translations divided by divisor), then their squares. Returns 0, or the
// first unit whose write failed.
int write_response_values(FileUnitTable& units, ResponseKind kind, float frequency,
                          const NodeRecord& record, double divisor);

// The same line for magnitudes given as T1 T2 T3 R1 R2 R3.
int write_response_magnitudes(FileUnitTable& units, ResponseKind kind, float frequency, const double* magnitudes,
                              double divisor);

// Closes the 24 files, echoing each name. Returns 0, or the first unit
// whose close failed (a failed close may have lost written lines).
int close_response_files(FileUnitTable& units, const Console& console);

}  // namespace vandorak
