// The declarations of a C source as cc65 compiled it, read by a real C
// front end (libclang) configured to lay types out as cc65 does: clang's
// AVR target (1-byte alignment, 2-byte int and pointers, 4-byte long),
// unsigned char, cc65's own keywords defined away, cc65's headers and the
// kit's on the include path. Without libclang the build leaves the reader
// out and c_reader_built() says so.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "c/c_types.hpp"

namespace c_view {

struct Declared {
    std::string name;
    std::uint32_t type = NO_TYPE;
};

struct DeclaredFunction {
    std::string name;
    std::vector<Declared> parameters;
    std::vector<Declared> locals;  // every block's, in the order written
    bool variadic = false;
};

struct DeclaredFile {
    std::vector<Declared> globals;  // defined or declared at file level, statics too
    std::vector<DeclaredFunction> functions;  // those with bodies
    std::vector<DeclaredFunction> prototypes; // the others (the C library's), without locals
};

[[nodiscard]] bool c_reader_built();

// Reads the C source at `path` with `include_folders` searched for its
// headers; "" when read (clang's complaints about the code do not count:
// cc65 takes code clang does not), else one line saying why not.
[[nodiscard]] std::string read_c_source(const std::string& path, const std::vector<std::string>& include_folders,
                                        Types& types, DeclaredFile& into);

}  // namespace c_view
