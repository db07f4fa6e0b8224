#include "platform/registry_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "base/error.h"
#include "base/text.h"
#include "platform/reg_document.h"
#include "platform/services_posix.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;
using test_util::ReadBytes;
using test_util::TempDir;
using test_util::WriteBytes;

using namespace std::string_literals;

constexpr char16_t kKey[] = u"SOFTWARE\\zuzozer\\web";

class RegistryStoreTest : public ::testing::Test {
 protected:
  RegistryStoreTest() : file_(dir_ / "registry.reg"), store_(NewFileRegistryStore(file_)) {}

  std::u16string GetText(std::u16string_view name) {
    RegistryValue v;
    if (store_->GetValue(kHkeyLocalMachine, kKey, name, &v) != kRegOk) return u"<missing>";
    return v.text;
  }

  TempDir dir_;
  fs::path file_;
  std::unique_ptr<RegistryStore> store_;
};

TEST_F(RegistryStoreTest, MissingFileIsAnEmptyRegistry) {
  RegistryValue v;
  EXPECT_EQ(store_->KeyExists(kHkeyLocalMachine, kKey), kRegNotFound);
  EXPECT_EQ(store_->GetValue(kHkeyLocalMachine, kKey, u"CurrentUser", &v), kRegNotFound);
  RegistryValueList list;
  EXPECT_EQ(store_->ListValues(kHkeyLocalMachine, kKey, &list), kRegNotFound);
  EXPECT_EQ(store_->KeyExists(kHkeyLocalMachine, u""), kRegOk);  // a root always exists
  EXPECT_FALSE(fs::exists(file_));
}

TEST_F(RegistryStoreTest, WritesRegSyntax) {
  ASSERT_EQ(store_->CreateKey(kHkeyLocalMachine, kKey), kRegOk);
  ASSERT_EQ(
      store_->SetValue(kHkeyLocalMachine, kKey, u"CurrentUser", RegistryValue::String(u"张三")),
      kRegOk);
  ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"", RegistryValue::String(u"d")), kRegOk);
  ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"n", RegistryValue::Dword(10)), kRegOk);
  ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"b", RegistryValue::Binary({1, 0xAB})),
            kRegOk);
  EXPECT_EQ(ReadBytes(file_),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n"
            "\"CurrentUser\"=\"张三\"\n"
            "@=\"d\"\n"
            "\"n\"=dword:0000000a\n"
            "\"b\"=hex:01,ab\n");
}

TEST_F(RegistryStoreTest, ValuesReadBackOfEveryType) {
  ASSERT_EQ(store_->CreateKey(kHkeyLocalMachine, kKey), kRegOk);
  RegistryValue expand;
  expand.type = kRegExpandString;
  expand.bytes = {'%', 0, 'P', 0, '%', 0, 0, 0};
  const std::vector<std::pair<std::u16string, RegistryValue>> values = {
      {u"s", RegistryValue::String(u"C:\\OAWork \"quoted\" 公文")},
      {u"lines", RegistryValue::String(u"a\r\nb\0c"s)},
      {u"empty", RegistryValue::String(u"")},
      {u"surrogate", RegistryValue::String(std::u16string(1, 0xDC00))},
      {u"dw", RegistryValue::Dword(0xFFFFFFFF)},
      {u"bin", RegistryValue::Binary({})},
      {u"x", expand},
  };
  for (const auto& [name, value] : values) {
    ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, name, value), kRegOk);
  }
  const auto fresh = NewFileRegistryStore(file_);
  for (const auto& [name, value] : values) {
    RegistryValue read;
    ASSERT_EQ(fresh->GetValue(kHkeyLocalMachine, kKey, name, &read), kRegOk) << U8(name);
    EXPECT_EQ(read, value) << U8(name);
  }
  const std::string text = ReadBytes(file_);
  EXPECT_NE(text.find("\"s\"=\"C:\\\\OAWork \\\"quoted\\\" 公文\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00,63,00,00,00\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"x\"=hex(2):25,00,50,00,25,00,00,00\n"), std::string::npos);
}

TEST_F(RegistryStoreTest, NamesAndKeysIgnoreCaseAndKeepTheirOwn) {
  ASSERT_EQ(store_->CreateKey(kHkeyLocalMachine, u"Software\\Zuzozer\\Web"), kRegOk);
  ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"CurrentFile", RegistryValue::String(u"1")),
            kRegOk);
  ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, u"\\software\\ZUZOZER\\web\\", u"currentfile",
                             RegistryValue::String(u"2")),
            kRegOk);
  EXPECT_EQ(GetText(u"CURRENTFILE"), u"2");
  RegistryValueList list;
  ASSERT_EQ(store_->ListValues(kHkeyLocalMachine, kKey, &list), kRegOk);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].first, u"CurrentFile");
  EXPECT_NE(ReadBytes(file_).find("[HKEY_LOCAL_MACHINE\\Software\\Zuzozer\\Web]"),
            std::string::npos);
}

TEST_F(RegistryStoreTest, KeysMustExistForValues) {
  EXPECT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"a", RegistryValue::String(u"x")),
            kRegNotFound);
  ASSERT_EQ(store_->CreateKey(kHkeyLocalMachine, u"SOFTWARE\\zuzozer\\web\\child"), kRegOk);
  // A parent exists implicitly and takes values.
  EXPECT_EQ(store_->KeyExists(kHkeyLocalMachine, u"SOFTWARE\\zuzozer"), kRegOk);
  EXPECT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"a", RegistryValue::String(u"x")), kRegOk);
  EXPECT_EQ(GetText(u"a"), u"x");
  EXPECT_EQ(store_->KeyExists(kHkeyLocalMachine, u"SOFTWARE\\zuzo"), kRegNotFound);
  EXPECT_EQ(store_->KeyExists(kHkeyCurrentUser, kKey), kRegNotFound);
  EXPECT_EQ(store_->CreateKey(0x12345678, kKey), kRegInvalidHandle);
}

TEST_F(RegistryStoreTest, LineBreaksInNamesAreRefused) {
  ASSERT_EQ(store_->CreateKey(kHkeyLocalMachine, kKey), kRegOk);
  EXPECT_NE(store_->SetValue(kHkeyLocalMachine, kKey, u"a\nb", RegistryValue::String(u"")), kRegOk);
  EXPECT_NE(store_->CreateKey(kHkeyLocalMachine, u"a\r\nb"), kRegOk);
}

TEST_F(RegistryStoreTest, CorruptFileNeverCrashesAndKeepsWhatItCannotRead) {
  const std::string corrupt =
      "REGEDIT4\n"
      "; a comment\n"
      "garbage \xFF\xFE\x00 bytes\n"
      "\"orphan\"=\"before any key\"\n"
      "[HKEY_NOWHERE\\x]\n"
      "\"hidden\"=\"under an unknown root\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n"
      "\"CurrentUser\"=\"li\"\n"
      "\"broken=\"no end quote\n"
      "\"bad\"=dword:xyz\n"
      "\"half\"=hex:0g,11\n"
      "\"del\"=-\n"
      "\"sid\"=\"S=1\"\n"
      "[broken header\n"
      "\"after\"=\"x\"\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n"
      "\"gone\"=\"y\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n"
      "\"bin\"=hex:01,02,\\\n"
      "  03,04\n"s;
  WriteBytes(file_, corrupt);
  EXPECT_EQ(GetText(u"CurrentUser"), u"li");
  EXPECT_EQ(GetText(u"sid"), u"S=1");
  EXPECT_EQ(GetText(u"orphan"), u"<missing>");
  EXPECT_EQ(GetText(u"hidden"), u"<missing>");
  EXPECT_EQ(GetText(u"bad"), u"<missing>");
  EXPECT_EQ(GetText(u"gone"), u"<missing>");
  RegistryValue bin;
  ASSERT_EQ(store_->GetValue(kHkeyLocalMachine, kKey, u"bin", &bin), kRegOk);
  EXPECT_EQ(bin.bytes, (std::vector<uint8_t>{1, 2, 3, 4}));

  // A write changes its own line and keeps every other line byte for byte.
  ASSERT_EQ(
      store_->SetValue(kHkeyLocalMachine, kKey, u"CurrentUser", RegistryValue::String(u"wang")),
      kRegOk);
  std::string expected = corrupt;
  expected.replace(expected.find("\"CurrentUser\"=\"li\""), 18, "\"CurrentUser\"=\"wang\"");
  EXPECT_EQ(ReadBytes(file_), expected);
  ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"new", RegistryValue::String(u"n")), kRegOk);
  EXPECT_EQ(ReadBytes(file_), expected + "\"new\"=\"n\"\n");
}

TEST_F(RegistryStoreTest, CrLfFilesStayCrLf) {
  WriteBytes(file_,
             "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\r\n\"a\"=\"1\"\r\n\r\n");
  ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"b", RegistryValue::String(u"2")), kRegOk);
  EXPECT_EQ(ReadBytes(file_),
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\r\n\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n\r\n");
  EXPECT_EQ(GetText(u"a"), u"1");
}

TEST_F(RegistryStoreTest, InvalidUtf8ReadsAsReplacementCharacters) {
  WriteBytes(file_, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n\"u\"=\"a\xFF\xC0z\"\n");
  EXPECT_EQ(GetText(u"u"), u"a\uFFFD\uFFFDz");
}

TEST_F(RegistryStoreTest, UnwritableFileFailsWithoutCrashing) {
  WriteBytes(dir_ / "plain", "x");
  const auto store = NewFileRegistryStore(dir_ / "plain" / "registry.reg");
  EXPECT_NE(store->CreateKey(kHkeyLocalMachine, kKey), kRegOk);
  EXPECT_NE(LastSystemError(), 0);
  RegistryValue v;
  EXPECT_EQ(store->GetValue(kHkeyLocalMachine, kKey, u"a", &v), kRegNotFound);
  fs::create_directory(dir_ / "dir.reg");
  const auto dir_store = NewFileRegistryStore(dir_ / "dir.reg");
  EXPECT_EQ(dir_store->GetValue(kHkeyLocalMachine, kKey, u"a", &v), kRegBadStorage);
  EXPECT_NE(dir_store->CreateKey(kHkeyLocalMachine, kKey), kRegOk);
}

TEST_F(RegistryStoreTest, AHeldLockMakesAWriteGiveUpInTime) {
  ASSERT_EQ(store_->CreateKey(kHkeyLocalMachine, kKey), kRegOk);
  // Another program holding the lock (a second open file description of the lock file).
  const int holder = ::open((file_.string() + ".lock").c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);

  const auto waiting = NewFileRegistryStore(file_, {std::chrono::milliseconds(300)});
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(waiting->SetValue(kHkeyLocalMachine, kKey, u"a", RegistryValue::String(u"1")),
            kRegLockTimeout);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::seconds(3));
  EXPECT_EQ(LastSystemError(), kRegLockTimeout);
  EXPECT_EQ(RegistryResultText(kRegLockTimeout), u"the registry file is locked by another program");
  EXPECT_EQ(GetText(u"a"), u"<missing>");  // reading needs no lock
  EXPECT_EQ(kRegistryLockWait, std::chrono::seconds(10));

  // A lock let go while a writer waits: the write goes through.
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::flock(holder, LOCK_UN);
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"a", RegistryValue::String(u"2")), kRegOk);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  release.join();
  ::close(holder);
  EXPECT_EQ(GetText(u"a"), u"2");
}

TEST_F(RegistryStoreTest, ALinkIsFollowedToItsRegularFile) {
  const fs::path real = dir_ / "real" / "registry.reg";
  WriteBytes(real, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n\"a\"=\"1\"\n");
  fs::create_symlink(real, dir_ / "second.reg");
  fs::create_symlink(dir_ / "second.reg", file_);  // a chain of two links
  ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"b", RegistryValue::String(u"2")), kRegOk);
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_TRUE(fs::is_symlink(dir_ / "second.reg"));
  EXPECT_EQ(ReadBytes(real),
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n\"a\"=\"1\"\n\"b\"=\"2\"\n");
  EXPECT_EQ(GetText(u"a"), u"1");
  // Writers through the link and through the real name share one lock, beside the file.
  EXPECT_TRUE(fs::exists(real.string() + ".lock"));
  EXPECT_FALSE(fs::exists(file_.string() + ".lock"));
  const auto direct = NewFileRegistryStore(real);
  ASSERT_EQ(direct->SetValue(kHkeyLocalMachine, kKey, u"c", RegistryValue::String(u"3")), kRegOk);
  EXPECT_EQ(GetText(u"c"), u"3");
}

TEST_F(RegistryStoreTest, FilesThatAreNotRegularAreRefused) {
  // A pipe (which would block a reader), a folder, a link to nothing.
  ASSERT_EQ(::mkfifo((dir_ / "pipe.reg").c_str(), 0600), 0);
  fs::create_directory(dir_ / "folder.reg");
  fs::create_symlink(dir_ / "nothing", dir_ / "dangling.reg");
  fs::create_symlink(dir_ / "pipe.reg", dir_ / "to-pipe.reg");
  for (const char* name : {"pipe.reg", "folder.reg", "dangling.reg", "to-pipe.reg"}) {
    SCOPED_TRACE(name);
    const auto store = NewFileRegistryStore(dir_ / name);
    RegistryValue v;
    EXPECT_EQ(store->GetValue(kHkeyLocalMachine, kKey, u"a", &v), kRegBadStorage);
    EXPECT_EQ(store->CreateKey(kHkeyLocalMachine, kKey), kRegBadStorage);
    EXPECT_EQ(store->SetValue(kHkeyLocalMachine, kKey, u"a", RegistryValue::String(u"1")),
              kRegBadStorage);
    EXPECT_EQ(LastSystemError(), kRegBadStorage);
  }
  EXPECT_EQ(RegistryResultText(kRegBadStorage), u"the registry file is not a regular file");
  // Each is still what it was.
  struct stat st {};
  ASSERT_EQ(::lstat((dir_ / "pipe.reg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_TRUE(fs::is_directory(dir_ / "folder.reg"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.reg"));
  EXPECT_FALSE(fs::exists(dir_ / "nothing"));
}

TEST_F(RegistryStoreTest, LinesItCannotParseKeepTheirOwnLineEnds) {
  // A file written with LF, where a hand edit (or another tool) left CR LF lines and a last
  // line without any.
  const std::string file =
      "Windows Registry Editor Version 5.00\n"
      "; edited on Windows\r\n"
      "garbage\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n"
      "\"a\"=\"1\"\r\n"
      "\"broken\r\n"
      "\"stray\r\"=\"cr inside\"\n"
      "\"b\"=\"2\"\n"
      "; no line end";
  WriteBytes(file_, file);
  ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"b", RegistryValue::String(u"3")), kRegOk);
  std::string expected = file;
  expected.replace(expected.find("\"b\"=\"2\""), 7, "\"b\"=\"3\"");
  EXPECT_EQ(ReadBytes(file_), expected + "\n");
  ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"c", RegistryValue::String(u"4")), kRegOk);
  EXPECT_EQ(ReadBytes(file_), expected + "\n\"c\"=\"4\"\n");
  EXPECT_EQ(GetText(u"a"), u"1");
}

TEST_F(RegistryStoreTest, AValueWrittenAfterACutOffHexListReadsBack) {
  // A write broken off inside a hex list: the file ends on a line that says the list goes on.
  for (const char* cut : {"\"b\"=hex:01,\\", "\"b\"=hex:01,\\\\\\\\"}) {
    const std::string file =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n"s +
        cut;
    WriteBytes(file_, file);
    ASSERT_EQ(
        store_->SetValue(kHkeyLocalMachine, kKey, u"CurrentUser", RegistryValue::String(u"张三")),
        kRegOk);
    EXPECT_TRUE(ReadBytes(file_).ends_with(cut + "\n"s)) << cut;  // the cut line stays last
    RegistryValue v;
    ASSERT_EQ(NewFileRegistryStore(file_)->GetValue(kHkeyLocalMachine, kKey, u"CurrentUser", &v),
              kRegOk)
        << cut;
    EXPECT_EQ(v.text, u"张三");
  }
}

TEST_F(RegistryStoreTest, ListingManyValuesTakesLinearTime) {
  // 40,000 values took 43 s when each was looked up among the ones listed before it.
  constexpr int kValues = 40000;
  std::string file = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n";
  for (int i = 0; i < kValues; ++i) {
    file += "\"value" + std::to_string(i) + "\"=\"" + std::to_string(i) + "\"\n";
  }
  file += "\"VALUE7\"=\"again\"\n";  // a later occurrence replaces the data, not the place
  WriteBytes(file_, file);
  const auto start = std::chrono::steady_clock::now();
  RegistryValueList list;
  ASSERT_EQ(store_->ListValues(kHkeyLocalMachine, kKey, &list), kRegOk);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_EQ(list.size(), static_cast<size_t>(kValues));
  EXPECT_EQ(list[7].first, u"VALUE7");
  EXPECT_EQ(list[7].second.text, u"again");
  EXPECT_EQ(list[kValues - 1].first, u"value" + ToText(kValues - 1));
}

TEST_F(RegistryStoreTest, CreatesItsFolderAndLeavesNoTemporaryFiles) {
  const fs::path nested = dir_ / "a" / "b" / "registry.reg";
  const auto store = NewFileRegistryStore(nested);
  ASSERT_EQ(store->CreateKey(kHkeyLocalMachine, kKey), kRegOk);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(store->SetValue(kHkeyLocalMachine, kKey, u"v", RegistryValue::Dword(i)), kRegOk);
  }
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(nested.parent_path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(RegistryStoreTest, ConcurrentWriterProcessesLoseNothing) {
  ASSERT_EQ(store_->CreateKey(kHkeyLocalMachine, kKey), kRegOk);
  constexpr int kWriters = 3;
  constexpr int kValues = 40;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // Each writer process has its own store, as separate programs would.
      const auto store = NewFileRegistryStore(file_);
      int failures = 0;
      for (int i = 0; i < kValues; ++i) {
        const std::u16string name = u"w" + ToText(w) + u"_" + ToText(i);
        failures += store->SetValue(kHkeyLocalMachine, kKey, name, RegistryValue::Dword(i)) != 0;
        RegistryValue v;  // readers in between always see a whole file
        failures += store->GetValue(kHkeyLocalMachine, kKey, name, &v) != 0;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RegistryValueList list;
  ASSERT_EQ(store_->ListValues(kHkeyLocalMachine, kKey, &list), kRegOk);
  EXPECT_EQ(list.size(), static_cast<size_t>(kWriters * kValues));
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      RegistryValue v;
      EXPECT_EQ(store_->GetValue(kHkeyLocalMachine, kKey, u"w" + ToText(w) + u"_" + ToText(i), &v),
                kRegOk);
      EXPECT_EQ(v, RegistryValue::Dword(i));
    }
  }
}

TEST(RegDocumentTest, ParseThenSerializeKeepsEveryByte) {
  std::mt19937 rng(7);
  const char* pieces[] = {"[HKEY_LOCAL_MACHINE\\A]",
                          "\"a\"=\"1\"",
                          "@=dword:1",
                          "\"h\"=hex:01,\\",
                          "  02",
                          "garbage",
                          "",
                          "[",
                          "\"q\"=\"\\\"",
                          "\xC3",
                          "\"x\"=hex(7):00"};
  for (int round = 0; round < 500; ++round) {
    std::string text;
    const int lines = static_cast<int>(rng() % 12);
    for (int i = 0; i < lines; ++i) text += std::string(pieces[rng() % std::size(pieces)]) + "\n";
    EXPECT_EQ(RegDocument::Parse(text).Serialize(), text);
  }
}

TEST(RegDocumentTest, RandomBytesNeverCrash) {
  std::mt19937 rng(11);
  for (int round = 0; round < 500; ++round) {
    std::string bytes(rng() % 200, '\0');
    for (char& c : bytes) c = static_cast<char>("[]\\\"=@:,hexdword(1)\n\r \xFF"[rng() % 22]);
    RegDocument doc = RegDocument::Parse(bytes);
    doc.CreateKey(kHkeyLocalMachine, u"K");
    doc.Set(kHkeyLocalMachine, u"K", u"v", RegistryValue::String(u"s"));
    const RegDocument again = RegDocument::Parse(doc.Serialize());
    ASSERT_NE(again.Find(kHkeyLocalMachine, u"K", u"v"), nullptr);
    EXPECT_EQ(again.Find(kHkeyLocalMachine, u"K", u"v")->text, u"s");
  }
}

TEST(RegDocumentTest, LastOccurrenceWins) {
  RegDocument doc =
      RegDocument::Parse("[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\"\n[HKLM\\k]\n\"A\"=\"2\"\n");
  ASSERT_NE(doc.Find(kHkeyLocalMachine, u"K", u"a"), nullptr);
  EXPECT_EQ(doc.Find(kHkeyLocalMachine, u"K", u"a")->text, u"2");
  ASSERT_TRUE(doc.Set(kHkeyLocalMachine, u"K", u"a", RegistryValue::String(u"3")));
  EXPECT_EQ(doc.Serialize(), "[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\"\n[HKLM\\k]\n\"A\"=\"3\"\n");
  EXPECT_TRUE(doc.Remove(kHkeyLocalMachine, u"k", u"A"));
  EXPECT_EQ(doc.Find(kHkeyLocalMachine, u"K", u"a"), nullptr);
}

}  // namespace
}  // namespace qnmuro
