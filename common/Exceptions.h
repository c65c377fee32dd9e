// Exception classes shared by every part of Norrvik. Every failure carries a
// message meant for the user; the front ends show it as it stands.
//
// The program's error contract:
// - Damaged or unreadable input is EInOutError with the message
//   "Cannot read file <path>: <reason>", built by FileErrorMessage (or
//   ThrowFileError, which takes the reason from errno); other file
//   operations use the same shape with their own verb ("Cannot open file",
//   "Cannot write file", "Cannot add a pattern to"). The message names the
//   file; the reason says what is wrong, or what to do.
// - Messages whose wording the program's documented behaviour fixes (the
//   store's, the readers' and the window's own texts, such as "Incorrect
//   length of file UPLOG.PDF.") keep that wording exactly.
// - A caller's broken rule is EAssertionFailed (NORRVIK_ASSERT); a text that
//   is not a number is EConvertError.
// - Every message is valid UTF-8: the Exception constructor passes it
//   through ValidUtf8 (common/Text.h), so Windows-1252 texts taken from
//   records read correctly next to UTF-8 paths.
#pragma once

#include <stdexcept>
#include <exception>
#include <string>

namespace norrvik {

// The general exception class: every error of the program derives from it.
class Exception : public std::runtime_error {
public:
    // The message is made valid UTF-8 (see the contract above).
    explicit Exception(const std::string& message);
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
// The message of a caught exception ("Unknown error" for one that is no
// std::exception).
std::string ExceptionMessage(std::exception_ptr failure);

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
