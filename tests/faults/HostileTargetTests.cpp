// Conversions into target folders that hold what they should not: links to
// files outside, links planted under temporary names, a folder of links into
// another database, a dangling main file, a pipe, a read-only folder and
// read-only text indexes. After each run nothing outside the target folder
// has changed, a refused run has changed nothing in it either, the message
// names the file or folder, and the run ends within a bound.
#include "convert/Conversion.h"
#include "support/KandorWriter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <grp.h>
#include <map>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

constexpr uid_t kNobody = 65534;

// Every entry below `folder`: what a link points to, or a file's bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> image;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        if (entry.is_symlink())
            image[name] = "-> " + fs::read_symlink(entry.path()).string();
        else
            image[name] = entry.is_regular_file() ? test::ReadFileText(entry.path()) : "not a file";
    }
    return image;
}

struct Folders {
    fs::path Source, Target, Outside;
};

void Convert(const fs::path& source, const fs::path& target)
{
    bool success = false;
    ConvertKandorDatabase(source.string(), target.string(), success);
}

// A target holding a database, with `name` turned into a link to `to`.
void LinkInDatabase(const Folders& f, const std::string& name, const fs::path& to)
{
    Convert(f.Source, f.Target);
    fs::remove(f.Target / name);
    fs::create_symlink(to, f.Target / name);
}

struct Case {
    const char* Name;
    void (*Prepare)(const Folders&);
    const char* Named;    // what the message names; empty: the run succeeds
    bool Unprivileged;    // run as an ordinary user (the permission checks)
};

const Case kCases[] = {
    {"CommentIsDanglingLink",
     [](const Folders& f) { fs::create_symlink(f.Outside / "created.txt", f.Target / "Comment.PDB"); },
     "Comment.PDB", false},
    {"IndexLinkedOutside", [](const Folders& f) { LinkInDatabase(f, "Index.PDB", f.Outside / "victim.txt"); },
     "Index.PDB", false},
    {"CrystalIndexLinkedOutside",
     [](const Folders& f) { LinkInDatabase(f, "CrystalIndex.PDB", f.Outside / "victim.txt"); },
     "CrystalIndex.PDB", false},
    {"MainFileIsDanglingLink",
     [](const Folders& f) { LinkInDatabase(f, "ReferenceDatabase.PDB", f.Outside / "unmounted/x.PDB"); },
     "ReferenceDatabase.PDB", false},
    {"FolderOfLinksIntoAnotherDatabase",
     [](const Folders& f) {
         Convert(f.Source, f.Outside / "other");
         for (const auto& entry : fs::directory_iterator(f.Outside / "other"))
             fs::create_symlink(entry.path(), f.Target / entry.path().filename());
     },
     "ReferenceDatabase.PDB", false},
    {"CommentIsPipe", [](const Folders& f) { ::mkfifo((f.Target / "Comment.PDB").c_str(), 0666); }, "Comment.PDB", false},
    {"TemporaryNamesPlanted",
     [](const Folders& f) {
         Convert(f.Source, f.Target);
         for (const auto& entry : fs::directory_iterator(f.Target))
             fs::create_symlink(f.Outside / "victim.txt", entry.path().string() + ".new");
     },
     "", false},
    {"TextIndexesReadOnly",
     [](const Folders& f) {
         Convert(f.Source, f.Target);
         for (const char* name : {"ReferenceCode.PDB", "Name.PDB", "Formula.PDB"})
             fs::permissions(f.Target / name, fs::perms(0444));
     },
     "ReferenceCode.PDB", false},
    {"FolderReadOnlyFilesWritable",
     [](const Folders& f) {
         Convert(f.Source, f.Target);
         for (const auto& entry : fs::directory_iterator(f.Target))
             ::chown(entry.path().c_str(), kNobody, kNobody);
         // As administrator the folder stays writable for its owner only
         // (the probe file finds it out); otherwise it is marked read-only.
         fs::permissions(f.Target, fs::perms(::geteuid() == 0 ? 0755 : 0555));
     },
     "/target: ", true},
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.Name;
}

class HostileTarget : public ::testing::TestWithParam<Case> {};

// Runs the conversion in a child process (as `nobody` when asked and when
// running as administrator): its error message, "ok", or "hung" after 30 s.
std::string ConvertInChild(const Folders& f, bool unprivileged)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        std::string result = "ok";
        try {
            if (unprivileged && ::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
                result = "cannot become nobody";
            else
                Convert(f.Source, f.Target);
        } catch (const std::exception& error) {
            result = error.what();
        }
        [[maybe_unused]] const auto written = ::write(channel[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    pollfd wait{channel[0], POLLIN, 0};
    std::string result(4096, '\0');
    const ssize_t n = ::poll(&wait, 1, 30000) > 0 ? ::read(channel[0], result.data(), result.size()) : 0;
    result.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    ::close(channel[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return result.empty() ? "hung" : result;
}

TEST_P(HostileTarget, WritesOnlyInsideAndNamesWhatStandsInTheWay)
{
    const Case& c = GetParam();
    TempFolder root;
    const Folders f{root.Path() / "source", root.Path() / "target", root.Path() / "outside"};
    for (const fs::path& folder : {f.Source, f.Target, f.Outside})
        fs::create_directory(folder);
    test::WriteFile(f.Outside / "victim.txt", std::string("not an index"));
    std::vector<test::KandorEntryData> entries(2);
    entries[0].Entry = {"QUARTZ", "quartz", "Si O2"};
    entries[0].Peaks = {test::KandorPeakAt(26.64, 900, 25)};
    entries[1].Entry = {"CALCITE", "calcite", "Ca C O3"};
    entries[1].Peaks = {test::KandorPeakAt(29.4, 400, 4)};
    test::WriteKandorDatabase(f.Source, entries);
    c.Prepare(f);
    if (c.Unprivileged && ::geteuid() == 0)
        fs::permissions(root.Path(), fs::perms(0755)); // reachable for nobody
    const auto outsideBefore = Snapshot(f.Outside);
    const auto targetBefore = Snapshot(f.Target);

    const std::string result = ConvertInChild(f, c.Unprivileged);

    if (result == "cannot become nobody")
        GTEST_SKIP() << "the read-only case needs an ordinary user, and this administrator cannot become one";
    EXPECT_EQ(Snapshot(f.Outside), outsideBefore) << result;
    if (*c.Named == '\0') {
        EXPECT_EQ(result, "ok");
        return;
    }
    EXPECT_NE(result.find(c.Named), std::string::npos) << result;
    EXPECT_EQ(Snapshot(f.Target), targetBefore) << result;
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileTarget, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace norrvik
