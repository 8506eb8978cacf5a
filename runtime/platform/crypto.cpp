// Digests through libcrypto's EVP interface, found by dlopen when the first digest is asked for: start-up
// pays nothing for it, and a system without the library still runs everything else. The declarations come
// from the library's own headers, so every function pointer has the library's exact type.

#include "runtime/platform/crypto.h"

#include "runtime/platform/shared_library.h"

#include <openssl/evp.h>

namespace xol::platform::crypto {

namespace {

char const* const soname = "libcrypto.so.3";

struct Library {
    bool tried = false;
    bool ready = false;
    decltype(&EVP_MD_CTX_new) context_new = nullptr;
    decltype(&EVP_MD_CTX_free) context_free = nullptr;
    decltype(&EVP_DigestInit_ex) init = nullptr;
    decltype(&EVP_DigestUpdate) update = nullptr;
    decltype(&EVP_DigestFinal_ex) final = nullptr;
    decltype(&EVP_md5) md5 = nullptr;
    decltype(&EVP_sha1) sha1 = nullptr;
    decltype(&EVP_sha256) sha256 = nullptr;
    decltype(&EVP_sha384) sha384 = nullptr;
    decltype(&EVP_sha512) sha512 = nullptr;
};

Library library;

// Opens the library once; a failure is final for the process, as the library cannot appear later.
bool open_library()
{
    if (library.tried) return library.ready;
    library.tried = true;
    void* handle = open_shared_library(soname);
    if (handle == nullptr) return false;
    library.ready = look_up(handle, "EVP_MD_CTX_new", library.context_new)
        && look_up(handle, "EVP_MD_CTX_free", library.context_free)
        && look_up(handle, "EVP_DigestInit_ex", library.init) && look_up(handle, "EVP_DigestUpdate", library.update)
        && look_up(handle, "EVP_DigestFinal_ex", library.final) && look_up(handle, "EVP_md5", library.md5)
        && look_up(handle, "EVP_sha1", library.sha1) && look_up(handle, "EVP_sha256", library.sha256)
        && look_up(handle, "EVP_sha384", library.sha384) && look_up(handle, "EVP_sha512", library.sha512);
    return library.ready;
}

EVP_MD const* method_of(Method method)
{
    switch (method) {
    case Method::Md5:
        return library.md5();
    case Method::Sha1:
        return library.sha1();
    case Method::Sha256:
        return library.sha256();
    case Method::Sha384:
        return library.sha384();
    case Method::Sha512:
        return library.sha512();
    }
    return nullptr;
}

}

std::size_t digest_size(Method method)
{
    switch (method) {
    case Method::Md5:
        return 16;
    case Method::Sha1:
        return 20;
    case Method::Sha256:
        return 32;
    case Method::Sha384:
        return 48;
    case Method::Sha512:
        return 64;
    }
    return 0;
}

Outcome digest(Method method, std::span<Bytes const> parts, std::uint8_t* out)
{
    if (!open_library()) return Outcome::NoLibrary;
    EVP_MD const* md = method_of(method);
    if (md == nullptr) return Outcome::Refused;
    EVP_MD_CTX* context = library.context_new();
    if (context == nullptr) return Outcome::Refused;
    // Every step's answer counts: a digest the library refused must never pass for one it made.
    bool done = library.init(context, md, nullptr) == 1;
    for (Bytes const& part : parts) {
        if (!done) break;
        if (part.size > 0) done = library.update(context, part.data, part.size) == 1;
    }
    unsigned int size = 0;
    if (done) done = library.final(context, out, &size) == 1 && size == digest_size(method);
    library.context_free(context);
    return done ? Outcome::Done : Outcome::Refused;
}

char const* library_name()
{
    return soname;
}

}
