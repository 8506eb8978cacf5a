// Libraries opened on first use rather than linked: start-up pays nothing for the digests, HTTP or image
// codecs a script never touches, and a missing library fails only what needs it.
#pragma once

#include <dlfcn.h>

namespace xol::platform {

// The library's handle, or null when it is not installed.
inline void* open_shared_library(char const* name)
{
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

// Fills `function` with the library's entry of that name; false when the library lacks it.
template <typename Function> bool look_up(void* library, char const* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

}
