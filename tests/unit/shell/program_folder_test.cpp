// The executable's folder, from its module path.
#include "shell/program_folder.h"

#include <gtest/gtest.h>

#include "cp932.h"

namespace {

TEST(ProgramFolder, CutsAtTheLastBackslashAndDropsIt) {
    EXPECT_EQ(programFolderOf("D:\\Tools\\quorin.exe", isCp932LeadByte), "D:\\Tools");
    EXPECT_EQ(programFolderOf("C:\\quorin.exe", isCp932LeadByte), "C:");
    EXPECT_EQ(programFolderOf("\\\\server\\share\\bin\\quorin.exe", isCp932LeadByte), "\\\\server\\share\\bin");
}

TEST(ProgramFolder, DoubleByteNamesKeepTheirTrailBytes) {
    // "D:\ソフト\ソ.exe": 0x83 0x5C is one character both in the folder and in the name.
    EXPECT_EQ(programFolderOf("D:\\\x83\x5c\x83t\x83g\\\x83\x5c.exe", isCp932LeadByte), "D:\\\x83\x5c\x83t\x83g");
}

TEST(ProgramFolder, PathWithoutBackslashGivesTheCurrentFolder) {
    EXPECT_EQ(programFolderOf("quorin.exe", isCp932LeadByte), ".");
    EXPECT_EQ(programFolderOf("", isCp932LeadByte), ".");
}

}  // namespace
