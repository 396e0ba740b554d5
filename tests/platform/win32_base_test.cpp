// What only Windows has, for the production base services: the program's
// folder comes from GetModuleFileNameA with backslashes, a drive's root
// giving "C:" (the file calls every platform keeps: base_services_test.cpp).
#include <gtest/gtest.h>
#include <string>
#include "seams/base_services.h"
#include "shell/shell.h"

namespace {

TEST(Win32Files, ProgramFolderFromTheModulePath)
{
    char path[PROGRAM_DIR_SIZE];
    const uint32_t length = sys_ProgramPath(path, sizeof path);
    ASSERT_GT(length, 3u);
    const std::string program(path, length);
    EXPECT_EQ(program.substr(1, 2), ":\\") << program;
    EXPECT_TRUE(program.ends_with("\\base_services_test.exe")) << program;
    EXPECT_EQ(sys_PathSeparator(), '\\');

    const struct {
        const char* file;
        const char* folder;
    } rows[] = {{program.c_str(), ""}, {"C:\\zorpload.exe", "C:"}, {"C:\\Tools\\ZorpLoad\\zorpload.exe", "C:\\Tools\\ZorpLoad"},
                {"zorpload.exe", ""}, {"\\zorpload.exe", ""}};
    for (const auto& row : rows) {
        shell_SetProgramDir(row.file);
        if (row.file == program.c_str())
            EXPECT_EQ(std::string(program_dir) + "\\base_services_test.exe", program);
        else
            EXPECT_STREQ(program_dir, row.folder) << row.file;
    }
}

}  // namespace
