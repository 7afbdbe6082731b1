// platform_library.cpp -- shared libraries loaded at run time, over dlopen.

#include <dlfcn.h>

#include "platform/platform_public.h"

namespace platform {

SharedLibrary* LoadSharedLibrary(const char* name, const char** error) {
  if (!name || !*name) {
    if (error) *error = "no library name";
    return nullptr;
  }
  void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (!handle && error) *error = dlerror();
  return static_cast<SharedLibrary*>(handle);
}

void* FindLibrarySymbol(SharedLibrary* library, const char* symbol) {
  if (!library || !symbol) return nullptr;
  return dlsym(library, symbol);
}

void FreeSharedLibrary(SharedLibrary* library) {
  if (library) dlclose(library);
}

}  // namespace platform
