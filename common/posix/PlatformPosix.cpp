// The platform layer's paths, folder identity, command line, console and
// thread signal mask and the advice on large buffers on POSIX systems.
#include "common/Platform.h"

#include <csignal>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norrvik {

std::filesystem::path PathFromText(std::string_view utf8)
{
    // A POSIX path is bytes: an 8-bit name is found as the bytes it is.
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool IsPathDelimiter(char c)
{
    return c == '/';
}

std::optional<TFolderIdentity> IdentityOfFolder(const std::filesystem::path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt;
    return TFolderIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void AdviseLargePages([[maybe_unused]] void* data, [[maybe_unused]] std::size_t bytes)
{
#ifdef MADV_HUGEPAGE // Linux; the other POSIX systems have no such advice
    // Only whole 2 MiB stretches can be huge pages.
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto first = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (first + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (first + bytes) & ~(kHugePage - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE); // refused: small pages, as before
#endif
}

void UseUtf8Console() {}

bool IsTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) != 0;
}

bool WriteToStandardStream(const std::string& text, bool toError)
{
    std::FILE* stream = toError ? stderr : stdout;
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
}

std::uint64_t CurrentProcessId()
{
    return static_cast<std::uint64_t>(::getpid());
}

struct TNewThreadsTakeNoSignals::Saved {
    sigset_t Previous{};
    bool Blocked = false;
};

TNewThreadsTakeNoSignals::TNewThreadsTakeNoSignals() : saved_(std::make_unique<Saved>())
{
    sigset_t all;
    sigfillset(&all);
    saved_->Blocked = pthread_sigmask(SIG_BLOCK, &all, &saved_->Previous) == 0;
}

TNewThreadsTakeNoSignals::~TNewThreadsTakeNoSignals()
{
    if (saved_->Blocked)
        pthread_sigmask(SIG_SETMASK, &saved_->Previous, nullptr);
}

} // namespace norrvik
