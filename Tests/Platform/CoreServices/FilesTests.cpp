#include <CFTestSupport.h>
#include <CoreServices/CoreServices.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string MakeScratchFolder()
{
    std::string pattern = testing::TempDir() + "files.XXXXXX";
    return mkdtemp(pattern.data());
}

}  // namespace

TEST(FSRef, ReferencesNameFilesNotPaths)
{
    const std::string folder = MakeScratchFolder();
    const std::string file = folder + "/日本語 notes.txt";
    std::ofstream(file) << "x";
    ASSERT_EQ(symlink(file.c_str(), (folder + "/link").c_str()), 0);

    FSRef direct{}, viaLink{}, viaDots{}, theFolder{};
    Boolean isDirectory = true;
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(file.c_str()), &direct, &isDirectory), noErr);
    EXPECT_FALSE(isDirectory);
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((folder + "/link").c_str()), &viaLink, nullptr), noErr);
    const std::string dotted = folder + "/./../" + folder.substr(folder.rfind('/') + 1) + "/日本語 notes.txt";
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(dotted.c_str()), &viaDots, nullptr), noErr);
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(folder.c_str()), &theFolder, &isDirectory), noErr);
    EXPECT_TRUE(isDirectory);

    EXPECT_EQ(FSCompareFSRefs(&direct, &viaLink), noErr);
    EXPECT_EQ(FSCompareFSRefs(&direct, &viaDots), noErr);
    EXPECT_EQ(FSCompareFSRefs(&direct, &theFolder), errFSRefsDifferent);
    FSRef none{};
    EXPECT_EQ(FSCompareFSRefs(&direct, &none), paramErr);

    UInt8 path[PATH_MAX];
    ASSERT_EQ(FSRefMakePath(&viaDots, path, sizeof path), noErr);
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(file.c_str(), resolved), nullptr);
    EXPECT_STREQ(reinterpret_cast<char*>(path), resolved);
    EXPECT_EQ(FSRefMakePath(&direct, path, 5), bdNamErr);

    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &direct));
    FSRef back{};
    ASSERT_TRUE(CFURLGetFSRef(url, &back));
    EXPECT_EQ(FSCompareFSRefs(&direct, &back), noErr);

    FSRef missing{};
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((folder + "/missing").c_str()), &missing, nullptr), fnfErr);
    EXPECT_EQ(FSPathMakeRef(nullptr, &missing, nullptr), paramErr);
    std::system(("rm -rf '" + folder + "'").c_str());
}
