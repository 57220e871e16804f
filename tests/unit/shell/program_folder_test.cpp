// The executable's folder, from its module path.
#include "shell/program_folder.h"

#include <gtest/gtest.h>

#include "cp932.h"

namespace {

// Cut at the last backslash, which is dropped; 0x83 0x5C ("ソ") is one character in the
// folder and in the name; without a backslash, the current folder.
TEST(ProgramFolder, CutsAtTheLastBackslash) {
    EXPECT_EQ(programFolderOf("D:\\Tools\\quorin.exe", isCp932LeadByte), "D:\\Tools");
    EXPECT_EQ(programFolderOf("C:\\quorin.exe", isCp932LeadByte), "C:");
    EXPECT_EQ(programFolderOf("\\\\server\\share\\bin\\quorin.exe", isCp932LeadByte), "\\\\server\\share\\bin");
    EXPECT_EQ(programFolderOf("D:\\\x83\x5c\x83t\x83g\\\x83\x5c.exe", isCp932LeadByte), "D:\\\x83\x5c\x83t\x83g");
    EXPECT_EQ(programFolderOf("quorin.exe", isCp932LeadByte), ".");
    EXPECT_EQ(programFolderOf("", isCp932LeadByte), ".");
}

}  // namespace
