#include "engine/derive_archive_name.h"

#include "engine/job_fields.h"
#include "tests/support/case_name.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace vedo {
namespace {

using test::sj;

struct NameCase {
  std::string source;   // UTF-8, converted to CP932 for the call
  std::string archive;  // UTF-8
};

class DeriveArchiveNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DeriveArchiveNameTest, FollowsTheSource) {
  EXPECT_EQ(DeriveArchiveName(sj(GetParam().source)), sj(GetParam().archive));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, DeriveArchiveNameTest,
    ::testing::Values(NameCase{"C:\\DATA\\REPORT.DOC", "C:\\DATA\\REPORT.LZH"},
                      NameCase{"C:\\DATA\\*.TXT", "C:\\DATA\\ALLFILE.LZH"},
                      NameCase{"C:\\DATA\\*", "C:\\DATA\\*.LZH"},
                      // A dot in a folder name never cuts the path.
                      NameCase{"C:\\MY.DIR\\A.TXT", "C:\\MY.DIR\\A.LZH"},
                      NameCase{"/home/me/my.project/notes.txt", "/home/me/my.project/notes.LZH"},
                      NameCase{"/home/me/.config/app/x.log", "/home/me/.config/app/x.LZH"},
                      NameCase{"/srv/v1.2/README", "/srv/v1.2/README.LZH"},
                      NameCase{"/srv/v1.2/*.log", "/srv/v1.2/ALLFILE.LZH"},
                      NameCase{"", ".LZH"},
                      NameCase{"/home/u/data/*.txt", "/home/u/data/ALLFILE.LZH"},
                      NameCase{"data/A*B.TXT", "data/ALLFILE.LZH"},
                      // "." before "*": not a many-file pattern, the dot cuts.
                      NameCase{"REPORT.*", "REPORT.LZH"},
                      NameCase{"d/*.tar.gz", "d/ALLFILE.LZH"},
                      // 表 ends in the byte of "\": it never splits the path.
                      NameCase{"DATA表*.TXT", "ALLFILE.LZH"},
                      NameCase{"表\\*.TXT", "表\\ALLFILE.LZH"},
                      NameCase{"ソフト/表.TXT", "ソフト/表.LZH"}),
    vedo::test::NamedBy<&NameCase::source>());

TEST(DeriveArchiveName, CutsAtMost255BytesFromTheFirstDot) {
  const std::string source = "A." + std::string(300, 'x');
  EXPECT_EQ(DeriveArchiveName(source), "A" + std::string(46, 'x') + ".LZH");
}

TEST(PlainJobFields, TargetFollowsEachNewSourceUntilSetAfterIt) {
  PlainJobFields fields;
  EXPECT_EQ(fields.Target(), ".LZH");
  fields.setSource("C:\\DATA\\*.TXT");
  EXPECT_EQ(fields.Target(), "C:\\DATA\\ALLFILE.LZH");
  fields.setTarget("C:\\ARC\\DATA.LZH");
  EXPECT_EQ(fields.Target(), "C:\\ARC\\DATA.LZH");
  fields.setSource("B.DOC");
  EXPECT_EQ(fields.Target(), "B.LZH");
}

}  // namespace
}  // namespace vedo
