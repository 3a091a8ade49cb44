#include "common/run_state.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace vandorak {

RunState::~RunState() {
  for (FileUnit& unit : units.units) {
    if (unit.stream != nullptr) {
      std::fclose(unit.stream);
      unit.stream = nullptr;
    }
  }
}

std::string FileUnitTable::path_of(int unit) const {
  const std::string& name = units[static_cast<std::size_t>(unit)].name;
  if (directory.empty()) return name;
  return directory + "/" + name;
}

std::FILE* FileUnitTable::open(int unit, const char* mode) {
  FileUnit& file = (*this)[unit];
  const std::string path = path_of(unit);
  // Creating a file under the listing's own name would empty the input.
  struct stat status {};
  if (listing_known && ::stat(path.c_str(), &status) == 0 &&
      static_cast<unsigned long long>(status.st_dev) == listing_device &&
      static_cast<unsigned long long>(status.st_ino) == listing_inode) {
    file.error = kIsTheListing;
    return nullptr;
  }
  errno = 0;
  std::FILE* stream = std::fopen(path.c_str(), mode);
  if (stream == nullptr) file.error = errno;
  return stream;
}

std::string FileUnitTable::reason(int unit) const {
  const int error = units[static_cast<std::size_t>(unit)].error;
  if (error == kIsTheListing) return "it is the listing being read";
  if (error == 0) return "unknown error";
  return std::strerror(error);
}

double acceleration_divisor(ResponseKind kind, int unit_answer) {
  return kind == ResponseKind::acceleration && unit_answer == 1 ? 386.0 : 1.0;
}

}  // namespace vandorak
