#include "searchindex/esedb_api.h"

#include <dlfcn.h>

namespace glintvane::searchindex {
namespace {

// The library's run-time name (libesedb1); its libbfio comes with it.
constexpr const char* kLibrary = "libesedb.so.1";

struct Loaded {
  EseApi api;
  std::string failure;
  bool ok = false;
};

Loaded Load() {
  Loaded loaded;
  // A namespace of its own: nothing it exports meets the program's other
  // libraries, and theirs do not meet it.
  void* handle = ::dlmopen(LM_ID_NEWLM, kLibrary, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    loaded.failure = std::string("cannot load ") + kLibrary + ": " + (why != nullptr ? why : "");
    return loaded;
  }
#define GLINTVANE_ESEDB_LOAD(name)                                               \
  loaded.api.name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name)); \
  if (loaded.api.name == nullptr) {                                              \
    loaded.failure = std::string(kLibrary) + " lacks " #name;                    \
    return loaded;                                                               \
  }
  GLINTVANE_ESEDB_FUNCTIONS(GLINTVANE_ESEDB_LOAD)
#undef GLINTVANE_ESEDB_LOAD
  // The handle stays open for the life of the program.
  loaded.ok = true;
  return loaded;
}

}  // namespace

const EseApi* LoadEseApi(std::string& failure) {
  static const Loaded loaded = Load();
  if (!loaded.ok) {
    failure = loaded.failure;
    return nullptr;
  }
  return &loaded.api;
}

}  // namespace glintvane::searchindex
