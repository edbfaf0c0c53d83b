// zampack on Windows takes its arguments and host paths as UTF-8, whatever
// the machine's ANSI code page: a release engineer's non-ASCII Name, tree and
// package names come through as typed.
#include <stdlib.h>

#include "tests/tools/zampack_fixture.h"

namespace {

using namespace package;
using tools_test::ZampackTest;
namespace fs = std::filesystem;

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

TEST_F(ZampackTest, NonAsciiNamesAndPathsComeThroughTheWideCommandLine) {
  fs::path tree = host_ / L"B\u00e4ume";
  fs::create_directories(tree);
  std::ofstream(tree / L"gr\u00f6\u00dfe.txt", std::ios::binary) << "alpha";
  fs::path package = host_ / L"v\u00e4.zam";
  // Started through the wide command line, as a console on Windows starts it.
  std::wstring command = L"cd . && \"" + Widen(ZAMPACK) + L"\" build --type VOICE --name J\u00fcrgen \"" +
                         tree.wstring() + L"\" -o \"" + package.wstring() + L"\" > \"" +
                         (host_ / L"zampack.out").wstring() + L"\" 2>&1";
  ASSERT_EQ(_wsystem(command.c_str()), 0) << Slurp(Host("zampack.out"));

  fs::copy_file(package, host_ / "copy.zam");
  ASSERT_TRUE(Load(Host("copy.zam")));
  EXPECT_EQ(HeaderText(Package().header.Name), u"J\u00fcrgen");
  ASSERT_EQ(Copies(), std::vector<std::string>{"\\gr\xF6\xDF" "e.txt"});
  EXPECT_EQ(Inflate(Package().CopyList[0]), "alpha");
}

}  // namespace
