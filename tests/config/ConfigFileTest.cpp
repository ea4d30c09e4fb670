#include "config/ConfigFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "TempDir.h"

namespace vendrake {
namespace {

TEST(TIniFile, LookupRulesOfExistingFiles) {
  TempDir dir;
  const TIniFile ini(dir.Write("Config.ini",
                               "top=ignored outside any section\r\n"
                               "[Vendrake]\r\n"
                               "db_Host = db.example.com \r\n"
                               "; db_User=commented\r\n"
                               "DB_USER=\"  quoted  \"\r\n"
                               "db_Password='pa;ss=word'\r\n"
                               "db_Database=\"unbalanced'\r\n"
                               "db_Host=second key of the same name\r\n"
                               "empty=\r\n"
                               "  [ vendrake ]  \r\n"
                               "late=second section of the same name\r\n"));
  EXPECT_EQ(ini.ReadString("Vendrake", "db_Host", "d"), "db.example.com");
  EXPECT_EQ(ini.ReadString("VENDRAKE", "db_user", "d"), "  quoted  ");
  EXPECT_EQ(ini.ReadString("Vendrake", "db_Password", "d"), "pa;ss=word");
  EXPECT_EQ(ini.ReadString("Vendrake", "db_Database", "d"), "\"unbalanced'");
  EXPECT_EQ(ini.ReadString("Vendrake", "empty", "d"), "");
  EXPECT_EQ(ini.ReadString("Vendrake", "late", "d"), "d");
  EXPECT_EQ(ini.ReadString("Vendrake", "top", "d"), "d");
  EXPECT_EQ(ini.ReadString("Other", "db_Host", "d"), "d");
  EXPECT_EQ(TIniFile(dir.Path() + "/absent.ini").ReadString("Vendrake", "db_Host", "d"), "d");
}

TEST(TIniFile, ValuesAndDefaultsAreCutTo2047Bytes) {
  TempDir dir;
  const std::string long_value(3000, 'v');
  const TIniFile ini(dir.Write("Config.ini", "[Common]\nkey=" + long_value + "\n"));
  EXPECT_EQ(ini.ReadString("Common", "key", ""), long_value.substr(0, 2047));
  EXPECT_EQ(ini.ReadString("Common", "absent", long_value), long_value.substr(0, 2047));
}

TEST(GetConfigString, SectionThenCommonThenDefaultFromBesideTheExecutable) {
  const std::string path = ExecutableConfigPath();
  char exe[4096];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe));
  ASSERT_GT(n, 0);
  EXPECT_EQ(path, std::filesystem::path(std::string(exe, n)).replace_filename("Config.ini"));

  EXPECT_EQ(GetConfigString("Vendrake", "db_Database", "mydb"), "mydb");
  std::FILE* file = std::fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs(
      "[Common]\nonly_common=c\nboth=c\nempty_here=c\nempty_common=\n"
      "[Vendrake]\nboth=v\nempty_here=\n",
      file);
  std::fclose(file);
  EXPECT_EQ(GetConfigString("Vendrake", "only_common", "d"), "c");
  EXPECT_EQ(GetConfigString("Vendrake", "both", "d"), "v");
  EXPECT_EQ(GetConfigString("Vendrake", "empty_here", "d"), "");
  EXPECT_EQ(GetConfigString("Vendrake", "empty_common", "d"), "");
  EXPECT_EQ(GetConfigString("Vendrake", "db_Database", "mydb"), "mydb");
  std::remove(path.c_str());
}

}  // namespace
}  // namespace vendrake
