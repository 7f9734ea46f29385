// The value a failed step of a cache read carries to the end of the read:
// the integer code and the detail text that ErrorList::AddError shows.
#pragma once

#include <string>
#include <utility>

#include <tl/expected.hpp>

namespace glintvane {

struct ReadError {
  int code = 0;
  std::string detail;  // "" for the codes whose detail text is fixed (501 to 507)
};

template <class T>
using ReadResult = tl::expected<T, ReadError>;

inline tl::unexpected<ReadError> Fail(int code, std::string detail = {}) {
  return tl::unexpected(ReadError{code, std::move(detail)});
}

}  // namespace glintvane
