// platform_library.h -- shared libraries loaded at run time, for optional
// decoders that the engine goes on without.
#pragma once

namespace platform {

struct SharedLibrary;  // opaque outside platform/

// Loads a shared library by file name (searched as the system's loader
// searches) or path. Null when it cannot be loaded; the loader's reason goes
// to `error` when given.
SharedLibrary* LoadSharedLibrary(const char* name, const char** error = nullptr);
// The address of an exported symbol, null when absent.
void* FindLibrarySymbol(SharedLibrary* library, const char* symbol);
// Unloads the library; null is ignored.
void FreeSharedLibrary(SharedLibrary* library);

}  // namespace platform
