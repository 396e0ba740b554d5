// The base services as every platform keeps them, against the production implementation of the
// system the tests are built for (POSIX, or Win32 under Wine): the program's own path, the file calls
// and the folder lock, where each row starts from a folder holding `given`, makes its calls, and
// leaves `after`; and the writer threads behind the files the user names, over a disk the test holds.
#include <gtest/gtest.h>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "platform/file_writer.h"
#include "seams/base_services.h"
#include "shell/shell.h"
#include "tests/support/temp_dir.h"

// Another program's hold on a folder's lock, taken as the system's own lock
// calls take it (posix_base_test.cpp, win32_base_test.cpp): its handle, or
// -1 when the lock is busy.
intptr_t other_TakeLock(const std::string& folder);
void other_LetGo(intptr_t holder);

namespace {

using Entries = std::map<std::string, std::string>;  // name: contents, or FOLDER
using Results = std::vector<int>;
const std::string FOLDER = "<folder>", TEXT("$GPGGA\r\n\0\x0D$", 11), OLDER = "an older, longer file";
const std::string LONG = std::string(9000, '\0') + TEXT;  // several read blocks
const int HELD_FILE_SEEN = sys_PathSeparator() == '\\' ? 0 : 1;  // Windows shares a held file with nobody

std::string folder, listed;  // the row's own; the names a listing gave
const char* at(const std::string& name)
{
    static std::deque<std::string> paths;  // the pointers stay good for the row
    return paths.emplace_back(path_Join(folder, native_Path(name))).c_str();
}
Results put(const char* name, const std::string& text)
{
    const int file = sys_FileCreate(at(name));
    return {int(file >= 0), sys_FileWrite(file, text.data(), uint32_t(text.size())), sys_FileClose(file)};
}
int held(const char* name, const std::string& text)  // made and written, still held
{
    const int file = sys_FileCreate(at(name));
    return sys_FileWrite(file, text.data(), uint32_t(text.size())) == 0 ? file : -1;
}

struct Contract {
    const char* name;
    Entries given;
    Results (*calls)();
    Results expected;
    Entries after;
};
void PrintTo(const Contract& row, std::ostream* out) { *out << row.name; }
struct BaseServices : ::testing::TestWithParam<Contract> {};
INSTANTIATE_TEST_SUITE_P(Files, BaseServices, ::testing::ValuesIn(std::vector<Contract>{
    {"CreateStartsAfreshAndWritesEveryByte", {{"a", OLDER}}, [] { return put("a", TEXT); }, {1, 0, 0}, {{"a", TEXT}}},
    {"CreatedFileIsHeldByItsWriterAlone", {}, [] {
         const int holder = sys_FileCreate(at("a"));
         return Results{sys_FileWrite(holder, "held", 4), sys_FileCreate(at("a")), sys_FileExists(at("a")),
                        sys_FileSync(holder), int(sys_FileSize(holder)), sys_FileClose(holder), sys_FileClose(holder),
                        sys_FileExists(at("a"))};
     }, {0, -1, HELD_FILE_SEEN, 0, 4, 0, -1, 1}, {{"a", "held"}}},
    {"NothingThereFailsEveryCall", {}, [] {
         return Results{sys_FileCreate(at("no/a")), sys_FileOpenWrite(at("no/a")), sys_MakeDir(at("no/d")),
                        sys_FileOpenRead(at("a")), sys_FileExists(at("a")), sys_FileRemove(at("a"))};
     }, {-1, -1, -1, -1, 0, -1}, {}},
    {"FolderIsNoFileAndIsMadeOnce", {{"d", FOLDER}, {"f", ""}}, [] {
         return Results{sys_FileExists(at("d")), sys_FileCreate(at("d")),
                        sys_FileCommit(held("a", TEXT), at("a"), at("d"), true), sys_MakeDir(at("d")),
                        sys_MakeDir(at("f")), sys_MakeDir(at("e"))};
     }, {0, -1, FILE_COMMIT_FAILED, 0, -1, 0}, {{"d", FOLDER}, {"e", FOLDER}, {"f", ""}}},
    {"FolderLockIsTakenInItsOwnFile", {}, [] {
         const Results taken{sys_FolderLock(folder.c_str()), sys_FolderLock(folder.c_str())};
         return sys_FolderUnlock(), taken;
     }, {FOLDER_LOCKED, FOLDER_LOCKED}, {{FOLDER_LOCK_NAME, ""}}},
    {"FolderLockRefusesAFolderAtItsName", {{FOLDER_LOCK_NAME, FOLDER}},
     [] { return Results{sys_FolderLock(folder.c_str())}; }, {FOLDER_LOCK_FAILED}, {{FOLDER_LOCK_NAME, FOLDER}}},
    {"ReadGivesTheWholeFileThenZero", {{"a", LONG}}, [] {
         const int file = sys_FileOpenRead(at("a"));
         std::string text;
         int count;
         for (char block[4096]; (count = sys_FileRead(file, block, sizeof block)) > 0;) text.append(block, count);
         sys_FileClose(file);
         return Results{int(file >= 0), count, int(text == LONG)};
     }, {1, 0, 1}, {{"a", LONG}}},
    {"ListDirNamesFilesAndNoFolder", {{"a", ""}, {"b", ""}, {"d", FOLDER}}, [] {
         const auto list = [](const char* name, void*) { listed += name; };
         return Results{sys_ListDir(folder.c_str(), list, nullptr), sys_ListDir(at("no"), list, nullptr),
                        int(listed == "ab" || listed == "ba")};
     }, {0, 0, 1}, {{"a", ""}, {"b", ""}, {"d", FOLDER}}},
}), [](const auto& info) { return std::string(info.param.name); });

TEST_P(BaseServices, KeepTheContract)
{
    const TempDir temp;
    folder = temp.dir, listed.clear();
    for (const auto& [name, contents] : GetParam().given)
        if (contents == FOLDER) ASSERT_TRUE(std::filesystem::create_directory(temp.path(name.c_str())));
        else std::ofstream(temp.path(name.c_str()), std::ios::binary) << contents;
    EXPECT_EQ(GetParam().calls(), GetParam().expected);
    Entries after;
    for (const auto& entry : std::filesystem::directory_iterator(temp.dir))
        after[entry.path().filename().string()] = entry.is_directory() ? FOLDER : file_Contents(entry.path().string());
    EXPECT_EQ(after, GetParam().after);
}

// One folder's lock at a time, each with one holder: another holder keeps
// it busy until it lets go; a second folder's lock replaces the first only
// once taken, so that a program refused another folder still holds its own.
TEST(FolderLock, AnotherHolderKeepsItBusyAndASecondLetsTheFirstGoOnlyOnceTaken)
{
    const TempDir first, second;
    ASSERT_EQ(sys_FolderLock(first.dir.c_str()), FOLDER_LOCKED);
    const intptr_t other = other_TakeLock(second.dir);
    EXPECT_EQ(sys_FolderLock(second.dir.c_str()), FOLDER_BUSY);
    EXPECT_EQ(other_TakeLock(first.dir), -1) << "the first lock given up for a busy folder";
    other_LetGo(other);
    EXPECT_EQ(sys_FolderLock(second.dir.c_str()), FOLDER_LOCKED);
    const intptr_t freed = other_TakeLock(first.dir);
    EXPECT_GE(freed, 0) << "the first lock kept beside the second";
    other_LetGo(freed);
    sys_FolderUnlock();
}

// /proc/self/exe or GetModuleFileNameA, in the system's own form, and the folder cut from such a
// path: a drive's root gives "C:", a name alone or at the root no folder.
TEST(ProgramPath, NamesThisProgramInItsFolder)
{
    char path[PROGRAM_DIR_SIZE];
    const std::string program(path, sys_ProgramPath(path, sizeof path));
    const std::filesystem::path file(program);
    EXPECT_TRUE(file.is_absolute() && file.stem() == "base_services_test") << program;
    shell_SetProgramDir(program.c_str());
    EXPECT_EQ(program_dir + std::string(1, sys_PathSeparator()) + file.filename().string(), program);
    for (const auto& [from, folder] : {std::pair{"C:/zorpload.exe", "C:"}, {"zorpload.exe", ""}, {"/zorpload.exe", ""},
                                       {"C:/Tools/ZorpLoad/zorpload.exe", "C:/Tools/ZorpLoad"}}) {
        shell_SetProgramDir(native_Path(from).c_str());
        EXPECT_EQ(program_dir, native_Path(folder)) << from;
    }
}

// A disk the test holds, under the writers below: it stalls until let go,
// or breaks (every write and close fails), and keeps what it is given.
struct HeldDisk {
    std::mutex lock;
    std::condition_variable changed;
    bool stalled = false;
    bool broken = false;
    std::string kept;
} held_disk;

int held_Write(intptr_t, const void* data, uint32_t count)
{
    const std::lock_guard held(held_disk.lock);
    if (held_disk.broken) return FILE_WRITE_FAILED;
    held_disk.kept.append(static_cast<const char*>(data), count);
    held_disk.changed.notify_all();
    return FILE_WRITTEN;
}

int held_Close(intptr_t)
{
    const std::lock_guard held(held_disk.lock);
    return held_disk.broken ? -1 : 0;
}

bool held_Ready()
{
    std::unique_lock held(held_disk.lock);
    held_disk.changed.wait(held, [] { return !held_disk.stalled; });
    return true;
}

void held_Set(bool stalled, bool broken)
{
    const std::lock_guard held(held_disk.lock);
    held_disk.stalled = stalled, held_disk.broken = broken;
    held_disk.changed.notify_all();
}

// Bytes that differ from one write to the next, so a write lost, doubled or
// put out of order shows.
std::string pattern(uint32_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    for (uint32_t i = 0; i < size; ++i) bytes[i] = char((i * 131u + seed * 7u) >> 3);
    return bytes;
}

const WriterDisk HELD_DISK{held_Write, held_Close, held_Ready};

// A writer never waits on its disk: over a stalled one it takes its buffer's
// worth and refuses the next write at once; a close waits only as long as it
// is told; and the bytes left behind reach the disk whole and in order once
// it lets go.
TEST(FileWriter, StalledDiskFillsTheBufferThenAWriteIsRefusedAtOnce)
{
    held_disk.kept.clear();
    held_Set(true, false);
    ASSERT_EQ(writer_Start(7, 0, HELD_DISK), 0);
    const int writer = writer_Of(7);
    ASSERT_GE(writer, 0);
    std::string sent;
    for (uint32_t part = 0; part < 8; ++part) {
        const std::string bytes = pattern(WRITER_BUFFER_SIZE / 8, part);
        EXPECT_EQ(writer_Write(writer, bytes.data(), uint32_t(bytes.size())), FILE_WRITTEN);
        sent += bytes;
    }
    EXPECT_EQ(writer_Write(writer, "x", 1), FILE_WOULD_BLOCK);
    EXPECT_EQ(writer_Close(writer, 0), -1) << "the data has not reached the disk";
    held_Set(false, false);
    std::unique_lock held(held_disk.lock);
    held_disk.changed.wait_for(held, std::chrono::seconds(10), [&] { return held_disk.kept.size() >= sent.size(); });
    EXPECT_TRUE(held_disk.kept == sent) << "the bytes left behind were not written whole and in order";
}

// Over a disk that keeps up, every byte arrives whole and in order, also
// across the buffer's wrap; a disk that breaks makes the writes that follow
// and the close fail.
TEST(FileWriter, BytesArriveWholeAcrossTheBufferAndABrokenDiskFailsWhatFollows)
{
    held_disk.kept.clear();
    held_Set(false, false);
    ASSERT_EQ(writer_Start(7, 0, HELD_DISK), 0);
    std::string sent;
    for (uint32_t part = 0; sent.size() < 5 * WRITER_BUFFER_SIZE; ++part) {
        const std::string bytes = pattern(300007, part);
        int result;
        while ((result = writer_Write(writer_Of(7), bytes.data(), uint32_t(bytes.size()))) == FILE_WOULD_BLOCK)
            std::this_thread::yield();
        EXPECT_EQ(result, FILE_WRITTEN);
        sent += bytes;
    }
    EXPECT_EQ(writer_Close(writer_Of(7), WRITER_CLOSE_WAIT_MS), 0);
    EXPECT_TRUE(held_disk.kept == sent) << "the closed writer's bytes were not written whole and in order";

    held_Set(false, true);
    ASSERT_EQ(writer_Start(7, 0, HELD_DISK), 0);
    int result;
    while ((result = writer_Write(writer_Of(7), "trace", 5)) == FILE_WRITTEN) std::this_thread::yield();
    EXPECT_EQ(result, FILE_WRITE_FAILED);
    EXPECT_EQ(writer_Close(writer_Of(7), WRITER_CLOSE_WAIT_MS), -1);
    held_Set(false, false);
}

}  // namespace
