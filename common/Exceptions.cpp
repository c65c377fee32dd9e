// Exception classes and the file-error message helpers.
#include "Exceptions.h"

#include "Format.h"
#include "Text.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace norrvik {

namespace {

std::string BaseName(const char* sourceFile)
{
    return std::filesystem::path(sourceFile).filename().string();
}

} // namespace

Exception::Exception(const std::string& message) : std::runtime_error(ValidUtf8(message)) {}

EAssertionFailed::EAssertionFailed(const std::string& text, const char* sourceFile, int line)
    : Exception(Format("%s (%s, line %d)", text.c_str(), BaseName(sourceFile).c_str(), line))
{
}

std::string FileErrorMessage(const std::string& what, const std::string& path,
                             const std::string& reason)
{
    return what + " " + path + ": " + reason;
}

void ThrowFileError(const std::string& what, const std::string& path)
{
    const int error = errno;
    const std::string reason = error != 0 ? std::strerror(error) : "unknown error";
    throw EInOutError(FileErrorMessage(what, path, reason));
}

std::string ExceptionMessage(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "Unknown error";
    }
}

} // namespace norrvik
