#include <cstdio>

#include "platform/files.h"

namespace platform {

Result<std::string> ReadWholeFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return Failure{Cause::kNotFound};
  std::string text;
  char chunk[4096];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  const bool complete = std::ferror(file) == 0;
  std::fclose(file);
  if (!complete) return Failure{Cause::kSystem};
  return text;
}

}  // namespace platform
