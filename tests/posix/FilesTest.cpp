#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LayerFixture.h"
#include "platform/posix/TextFileReader.h"

namespace quarrow::posix::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

class Files : public LayerTest {
 protected:
  Files() {
    tmp.Folder("c/mail");
    p = Make();
    p->SelectDrive(L'c');
    p->ChangeFolder(L"c:\\mail");
  }
  std::string Mail(const std::string& name) const { return tmp / ("c/mail/" + name); }

  std::unique_ptr<PosixPlatform> p;
};

Text ReadText(TextReader& reader) {
  Text all;
  while (reader.ReadMore(all)) {
  }
  return all;
}

TEST_F(Files, OpensByAnyCaseOfFolderAndFileName) {
  tmp.File("c/mail/MSG3.TXT", "upper");
  tmp.File("c/mail/Mixed.Txt", "mixed");
  EXPECT_EQ(ReadText(*p->OpenTextFile(L"MSG3.txt")), L"upper");
  EXPECT_EQ(ReadText(*p->OpenTextFile(L"mixed.TXT")), L"mixed");
  EXPECT_EQ(ReadText(*p->OpenTextFile(L"C:\\MAIL\\msg3.txt")), L"upper");
  EXPECT_EQ(FailureOf([&] { p->OpenTextFile(L"MSG4.txt"); }),
            L"Cannot open 'MSG4.txt' (" + FromUtf8(Mail("MSG4.txt")) +
                L"): it does not exist");
}

TEST_F(Files, ListsPlainFilesByWildcardWithoutRegardToCase) {
  tmp.File("c/mail/MSG1.TXT");
  tmp.File("c/mail/msg7.txt");
  tmp.File("c/mail/Msg12.Txt");
  tmp.File("c/mail/notes.txt");
  tmp.File("c/mail/MSG1.TXT.bak");
  tmp.File("c/mail/.MSG2.TXT");  // hidden
  tmp.Folder("c/mail/MSG5.TXT");  // a folder
  tmp.File("c/target.txt");
  ASSERT_EQ(::symlink("../target.txt", Mail("MSG8.TXT").c_str()), 0);
  ASSERT_EQ(::symlink("..", Mail("MSG9.TXT").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", Mail("MSG10.TXT").c_str()), 0);
  tmp.File("c/mail/MSG4.TXT");
  ASSERT_EQ(::chmod(Mail("MSG4.TXT").c_str(), 0444), 0);  // read-only is in

  EXPECT_THAT(p->ListFiles(L"MSG*.TXT"),
              UnorderedElementsAre(L"MSG1.TXT", L"msg7.txt", L"Msg12.Txt",
                                   L"MSG8.TXT", L"MSG4.TXT"));
  EXPECT_THAT(p->ListFiles(L"c:\\MAIL\\msg?.txt"),
              UnorderedElementsAre(L"MSG1.TXT", L"msg7.txt", L"MSG8.TXT",
                                   L"MSG4.TXT"));
  EXPECT_THAT(p->ListFiles(L"..\\*"), UnorderedElementsAre(L"target.txt"));
  EXPECT_TRUE(p->ListFiles(L"c:\\nowhere\\*").empty());
}

TEST_F(Files, DeletesMatchingPlainFilesOnly) {
  tmp.File("c/mail/MSG1.TXT");
  tmp.File("c/mail/msg7.txt");
  tmp.File("c/mail/notes.txt");
  tmp.File("c/mail/.msg2.txt");
  tmp.Folder("c/mail/MSG5.TXT");
  p->DeleteFiles(L"c:\\mail\\MSG*.TXT");
  EXPECT_FALSE(Exists(Mail("MSG1.TXT")));
  EXPECT_FALSE(Exists(Mail("msg7.txt")));
  EXPECT_TRUE(Exists(Mail("notes.txt")));
  EXPECT_TRUE(Exists(Mail(".msg2.txt")));
  EXPECT_TRUE(Exists(Mail("MSG5.TXT")));
  p->DeleteFiles(L"MSG*.TXT");  // none left is no failure
}

TEST_F(Files, ReadOnlyFileIsNotDeleted) {
  tmp.File("c/mail/MSG1.TXT");
  ASSERT_EQ(::chmod(Mail("MSG1.TXT").c_str(), 0444), 0);
  EXPECT_EQ(FailureOf([&] { p->DeleteFiles(L"c:\\mail\\MSG*.TXT"); }),
            L"Cannot delete 'c:\\mail\\MSG1.TXT' (" +
                FromUtf8(Mail("MSG1.TXT")) + L"): it is read-only");
  EXPECT_TRUE(Exists(Mail("MSG1.TXT")));
}

TEST_F(Files, RenamesByAnyCaseOfTheSourceName) {
  tmp.File("c/mail/Extract1-a.JPG", "jpeg");
  p->RenameFile(L"extract1-A.jpg", L"07-01-28 09-36-14-1.vch");
  EXPECT_FALSE(Exists(Mail("Extract1-a.JPG")));
  EXPECT_EQ(ReadAll(Mail("07-01-28 09-36-14-1.vch")), "jpeg");
}

TEST_F(Files, RenameFailsOnAMissingSourceOrAnExistingTarget) {
  tmp.File("c/mail/msg4.txt", "body");
  tmp.File("c/mail/07-01-28 09-36-14.VCH", "earlier");
  try {
    p->RenameFile(L"msg5.txt", L"new.vch");
    ADD_FAILURE() << "a missing source was renamed";
  } catch (const Failure& f) {
    EXPECT_EQ(f.reason(), Failure::Reason::SourceMissing);
    EXPECT_THAT(ToUtf8(f.message()), HasSubstr("msg5.txt"));
  }
  try {
    p->RenameFile(L"msg4.txt", L"07-01-28 09-36-14.vch");
    ADD_FAILURE() << "an existing target was replaced";
  } catch (const Failure& f) {
    EXPECT_EQ(f.reason(), Failure::Reason::TargetExists);
  }
  EXPECT_EQ(ReadAll(Mail("msg4.txt")), "body");
  EXPECT_EQ(ReadAll(Mail("07-01-28 09-36-14.VCH")), "earlier");
}

TEST_F(Files, RenameMayChangeOnlyTheCase) {
  tmp.File("c/mail/msg4.txt", "body");
  p->RenameFile(L"msg4.txt", L"MSG4.TXT");
  EXPECT_EQ(ReadAll(Mail("MSG4.TXT")), "body");
  EXPECT_FALSE(Exists(Mail("msg4.txt")));
}

TEST_F(Files, AFilesStateChangesWithEveryWriteOrReplacement) {
  EXPECT_FALSE(p->GetFileState(L"msg4.txt").exists);
  tmp.Folder("c/mail/MSG5.TXT");
  EXPECT_FALSE(p->GetFileState(L"msg5.txt").exists);  // a folder

  const std::string body = tmp.File("c/mail/msg4.txt", "first");
  const auto setModified = [&](long nanoseconds) {
    const timespec times[2] = {{1000, 0}, {1000, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, body.c_str(), times, 0), 0);
  };
  setModified(0);
  const FileState first = p->GetFileState(L"MSG4.TXT");
  EXPECT_TRUE(first.exists);
  EXPECT_EQ(first.size, 5u);
  EXPECT_EQ(p->GetFileState(L"msg4.txt"), first);

  // Written again within the same second, with the same size.
  setModified(1);
  EXPECT_NE(p->GetFileState(L"msg4.txt"), first);
  // Replaced by another file with the same size and time.
  const std::string other = tmp.File("c/mail/other", "other");
  ASSERT_EQ(::rename(other.c_str(), body.c_str()), 0);
  setModified(0);
  EXPECT_NE(p->GetFileState(L"msg4.txt"), first);
}

TEST_F(Files, UndecodableBytesBecomeOneCharacterEach) {
  // "é" in UTF-8, then a lone Latin-1 "é" byte and a cut-off sequence.
  tmp.File("c/mail/MSG1.TXT", "Subject: caf\xC3\xA9 caf\xE9\r\nX: \xE2\x82\n");
  EXPECT_EQ(ReadText(*p->OpenTextFile(L"MSG1.TXT")),
            L"Subject: caf\u00E9 caf\u00E9\r\nX: \u00E2\u0082\n");
}

TEST_F(Files, CharactersAreNeverSplitBetweenPieces) {
  // Multi-byte characters across every read boundary of a long file.
  std::string bytes;
  Text expected;
  while (bytes.size() < 300 * 1024) {
    bytes += "ab\xE2\x82\xAC";  // "ab€"
    expected += L"ab\u20AC";
  }
  tmp.File("c/mail/long.txt", bytes);
  const auto reader = p->OpenTextFile(L"long.txt");
  Text all, piece;
  int pieces = 0;
  while (reader->ReadMore(piece)) {
    EXPECT_NE(piece.back(), L'\u00E2');  // a cut-off lead byte
    all += piece;
    piece.clear();
    ++pieces;
  }
  EXPECT_EQ(all, expected);
  EXPECT_GT(pieces, 1);
}

TEST(WholeUtf8, HoldsBackOnlyACutOffSequence) {
  EXPECT_EQ(WholeUtf8Length("abc"), 3u);
  EXPECT_EQ(WholeUtf8Length("ab\xC3"), 2u);
  EXPECT_EQ(WholeUtf8Length("ab\xC3\xA9"), 4u);
  EXPECT_EQ(WholeUtf8Length("ab\xF0\x9F\x98"), 2u);
  EXPECT_EQ(WholeUtf8Length("ab\xF0\x9F\x98\x80"), 6u);
  EXPECT_EQ(WholeUtf8Length("ab\xE9"), 2u);  // may still be a lead byte
  EXPECT_EQ(WholeUtf8Length("ab\xA9"), 3u);  // a stray continuation byte
}

}  // namespace
}  // namespace quarrow::posix::testing
