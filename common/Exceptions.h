// Exception classes shared by every part of Norrvik. Every failure carries a
// message meant for the user; the front ends show it as it stands.
#pragma once

#include <stdexcept>
#include <string>

namespace norrvik {

// The general exception class: every error of the program derives from it.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A file could not be opened, read or written. The message names the file
// and the system's reason (or what is wrong with the file's contents).
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// A caller broke a rule of an operation (a programming error). The message
// reads "<text> (<source file>, line <n>)".
class EAssertionFailed : public Exception {
public:
    EAssertionFailed(const std::string& text, const char* sourceFile, int line);
};

// A text could not be converted into a number.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Builds the message "<what> <path>: <reason>" for a file error, e.g.
// "Cannot open file /x/Name.PDB: No such file or directory".
std::string FileErrorMessage(const std::string& what, const std::string& path,
                             const std::string& reason);

// Throws EInOutError for `path` with the reason taken from errno.
[[noreturn]] void ThrowFileError(const std::string& what, const std::string& path);

} // namespace norrvik

// Raises EAssertionFailed with `text` unless `condition` holds; the source
// file's base name and the line go into the message.
#define NORRVIK_ASSERT(condition, text)                                         \
    do {                                                                        \
        if (!(condition))                                                       \
            throw ::norrvik::EAssertionFailed((text), __FILE__, __LINE__);      \
    } while (false)
