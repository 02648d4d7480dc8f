// The saver reading its own file: a program followed by a payload archive written by the
// project's writer, with INFO and MOVIE stored or compressed as the installer leaves them.
#include <string.h>

#include <gtest/gtest.h>

#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/writer.h"
#include "platform/host/host.h"
#include "saver/payload.h"
#include "tests/e2e/show_builder.h"
#include "tests/unit/support/test_support.h"

namespace {

struct Entry {
    const char* name;
    Bytes data;
    TransferFlags flags;
};

class SaverPayload : public ::testing::Test {
  protected:
    void SetUp() override {
        HostReset();
        CloseArchive(ReaderHandle());
        SetStickyErrorMode(0);
    }
    void TearDown() override {
        CloseArchive(ReaderHandle());
        HostReset();
    }
    // The saver's file: SAVER first, at offset 0 and plain, then the given entries.
    std::string MakeSaverFile(const std::vector<Entry>& entries) {
        const std::string path = dir.File("Aurora.scr");
        const FileHandle out = CreateArchive(path.c_str());
        EXPECT_NE(out, kInvalidFile);
        const Bytes program = BytesOf("MZ pretend program");
        EXPECT_EQ(
            AddEntryFromMemory(program.data(), static_cast<uint32_t>(program.size()), "SAVER", 0),
            1);
        for (const Entry& e : entries)
            EXPECT_EQ(AddEntryFromMemory(e.data.data(), static_cast<uint32_t>(e.data.size()),
                                         e.name, e.flags),
                      1)
                << e.name;
        CloseArchive(out);
        HostSetModuleFileName(path);
        return path;
    }
    ScratchDir dir;
};

Bytes Info(const char* name, uint32_t code_page, const char* alt_name) {
    Bytes info(kInfoSize, 0);
    memcpy(&info[kInfoName], name, strlen(name));
    memcpy(&info[kInfoCodePage], &code_page, 4);
    memcpy(&info[kInfoAltName], alt_name, strlen(alt_name));
    return info;
}

TEST_F(SaverPayload, ReadsCompressedInfoAndMovieFromItsOwnFile) {
    const Bytes movie = PseudoRandomBytes(70000, 7);
    MakeSaverFile({{"MOVIE", movie, Compress}, {"INFO", Info("Aurora", 0, ""), Compress}});
    EXPECT_EQ(LoadSaverPayload(nullptr, 1252), kPayloadOpened | kPayloadInfo | kPayloadMovie);
    EXPECT_STREQ(SaverName, "Aurora");
    ASSERT_EQ(MovieSize, movie.size());
    EXPECT_EQ(Bytes(MovieBytes, MovieBytes + MovieSize), movie);
    EXPECT_EQ(ReaderHandle(), kInvalidFile) << "the archive is closed again";
}

TEST_F(SaverPayload, NameFollowsTheCodePageAsTheInstallerChoseIt) {
    struct Row {
        const char* tag;
        uint32_t info_code_page;
        uint32_t system_code_page;
        const char* expected;
    } rows[] = {
        {"no code page", 0, 1251, "Aurora"},
        {"same code page", 1252, 1252, "Aurora"},
        {"other code page", 1252, 1251, "\xC0\xE2\xF0\xEE\xF0\xE0"},
    };
    for (const Row& row : rows) {
        MakeSaverFile(
            {{"INFO", Info("Aurora", row.info_code_page, "\xC0\xE2\xF0\xEE\xF0\xE0"), Compress}});
        EXPECT_EQ(LoadSaverPayload(nullptr, row.system_code_page) & kPayloadInfo, kPayloadInfo)
            << row.tag;
        EXPECT_STREQ(SaverName, row.expected) << row.tag;
    }
}

TEST_F(SaverPayload, NameWithoutEndIsCutToItsField) {
    Bytes info(kInfoSize, 0);
    memset(&info[kInfoName], 'n', kInfoNameSize);
    memset(&info[kInfoName + kInfoNameSize], 'X', 8);  // the next field must not leak in
    MakeSaverFile({{"INFO", info, 0}});
    LoadSaverPayload(nullptr, 1252);
    EXPECT_EQ(strlen(SaverName), kSaverNameSize - 1);
    EXPECT_EQ(strchr(SaverName, 'X'), nullptr);
}

TEST_F(SaverPayload, ShortInfoReadsAsZerosBehindIt) {
    const Bytes info = Info("Short", 1251, "Alt");
    MakeSaverFile({{"INFO", Bytes(info.begin(), info.begin() + kInfoName + 6), 0}});
    EXPECT_EQ(LoadSaverPayload(nullptr, 1252) & kPayloadInfo, kPayloadInfo);
    EXPECT_STREQ(SaverName, "Short") << "the code page beyond the entry reads as 0";
}

TEST_F(SaverPayload, MissingOrOversizedEntriesLeaveTheirBuffersEmpty) {
    struct Row {
        const char* tag;
        std::vector<Entry> entries;
        int expected;
    };
    const Bytes huge(kMovieCapacity + 1, 0x5A);
    const Row rows[] = {
        {"no movie", {{"INFO", Info("A", 0, ""), 0}}, kPayloadOpened | kPayloadInfo},
        {"no info", {{"MOVIE", BytesOf("BM..."), 0}}, kPayloadOpened | kPayloadMovie},
        {"empty movie", {{"MOVIE", Bytes(), 0}}, kPayloadOpened},
        {"stored movie over the buffer", {{"MOVIE", huge, 0}}, kPayloadOpened},
        {"compressed movie over the buffer", {{"MOVIE", huge, Compress}}, kPayloadOpened},
        {"movie exactly the buffer",
         {{"MOVIE", Bytes(kMovieCapacity, 1), 0}},
         kPayloadOpened | kPayloadMovie},
    };
    for (const Row& row : rows) {
        MakeSaverFile(row.entries);
        EXPECT_EQ(LoadSaverPayload(nullptr, 1252), row.expected) << row.tag;
        if (!(row.expected & kPayloadMovie)) {
            EXPECT_EQ(MovieSize, 0u) << row.tag;
        }
        if (!(row.expected & kPayloadInfo)) {
            EXPECT_STREQ(SaverName, "") << row.tag;
        }
    }
}

Bytes TwoPictureShow() {
    ShowBuilder show;
    show.pictures.push_back({PseudoRandomBytes(3000, 11), 40, 30, kShowJpeg, u"Sunrise"});
    show.pictures.push_back({PseudoRandomBytes(500, 12), 8, 8, kShowBmp, u""});
    show.music.push_back({PseudoRandomBytes(700, 13), kShowWav});
    return show.Build();
}

// A show is read only as far as its index; its pictures are reached at their offsets in the
// saver's own file, so those offsets must land on the pictures' bytes.
TEST_F(SaverPayload, ShowIndexPointsAtThePicturesInTheFile) {
    const Bytes show = TwoPictureShow();
    const std::string path =
        MakeSaverFile({{"MOVIE", show, 0}, {"INFO", Info("Show", 0, ""), Compress}});
    ASSERT_EQ(LoadSaverPayload(nullptr, 1252), kPayloadOpened | kPayloadInfo | kPayloadShow);
    EXPECT_EQ(MovieSize, 0u) << "the show is not read whole";
    ASSERT_EQ(Show.valid, 1);
    EXPECT_EQ(Show.picture_count, 2u);
    const Bytes file = ReadWholeFile(path);
    const Bytes movie(file.begin() + ShowMovieOffset, file.begin() + ShowMovieOffset + show.size());
    EXPECT_EQ(movie, show);
    ShowPicture picture;
    ASSERT_EQ(ShowPictureAt(&Show, 1, &picture), 1);
    EXPECT_EQ(Bytes(file.begin() + ShowMovieOffset + picture.offset,
                    file.begin() + ShowMovieOffset + picture.offset + picture.size),
              PseudoRandomBytes(500, 12));
    ShowMusic music;
    ASSERT_EQ(ShowMusicAt(&Show, 0, &music), 1);
    EXPECT_EQ(Bytes(file.begin() + ShowMovieOffset + music.offset,
                    file.begin() + ShowMovieOffset + music.offset + music.size),
              PseudoRandomBytes(700, 13));
}

TEST_F(SaverPayload, ShowsThatCannotBeReadInPlaceAreNotShown) {
    const Bytes show = TwoPictureShow();
    Bytes damaged = show;
    damaged[kShowOffInterval] = 0;  // 0x..00 ms: below a second
    damaged[kShowOffInterval + 1] = 0;
    Bytes cut(show.begin(), show.end() - 1);
    Bytes large = show;  // a show beyond the bitmap buffer is read all the same
    large.resize(kMovieCapacity + 100);
    ShowBuilder big;
    big.pictures.push_back({Bytes(kMovieCapacity + 10, 0x42), 4000, 3000, kShowJpeg, u""});
    struct Row {
        const char* tag;
        Entry movie;
        int expected;
    } rows[] = {
        {"stored", {"MOVIE", show, 0}, kPayloadOpened | kPayloadShow},
        {"larger than the bitmap buffer", {"MOVIE", big.Build(), 0}, kPayloadOpened | kPayloadShow},
        {"compressed: its offsets are not the file's", {"MOVIE", show, Compress}, kPayloadOpened},
        {"damaged header", {"MOVIE", damaged, 0}, kPayloadOpened},
        {"a byte short", {"MOVIE", cut, 0}, kPayloadOpened},
        {"only the magic", {"MOVIE", Bytes(show.begin(), show.begin() + 4), 0}, kPayloadOpened},
        {"data past the announced end", {"MOVIE", large, 0}, kPayloadOpened},
    };
    for (const Row& row : rows) {
        MakeSaverFile({row.movie});
        EXPECT_EQ(LoadSaverPayload(nullptr, 1252), row.expected) << row.tag;
        EXPECT_EQ(Show.valid, (row.expected & kPayloadShow) ? 1 : 0) << row.tag;
        EXPECT_EQ(MovieSize, 0u) << row.tag << ": a show is never taken for a bitmap";
    }
}

TEST_F(SaverPayload, PreviewTakesPreviewBitmapWhenThereIsOne) {
    const Bytes show = TwoPictureShow();
    MakeSaverFile({{"MOVIE", show, 0}, {"PREVIEWB", BytesOf("BM preview"), Compress}});
    EXPECT_EQ(LoadSaverPayload(nullptr, 1252, 1), kPayloadOpened | kPayloadPreview);
    EXPECT_EQ(Bytes(MovieBytes, MovieBytes + MovieSize), BytesOf("BM preview"));
    EXPECT_EQ(Show.valid, 0);
    EXPECT_EQ(LoadSaverPayload(nullptr, 1252, 0), kPayloadOpened | kPayloadShow)
        << "full screen shows the show";
    MakeSaverFile({{"MOVIE", show, 0}});
    EXPECT_EQ(LoadSaverPayload(nullptr, 1252, 1), kPayloadOpened | kPayloadShow)
        << "without PREVIEWB the preview is the show";
}

TEST_F(SaverPayload, FileWithoutArchiveOrWithoutFile) {
    const std::string plain = dir.File("plain.scr");
    WriteWholeFile(plain, PseudoRandomBytes(5000, 3));
    EXPECT_EQ(LoadSaverPayload(plain.c_str(), 1252), 0);
    EXPECT_EQ(LoadSaverPayload(dir.File("missing.scr").c_str(), 1252), 0);
    EXPECT_EQ(MovieSize, 0u);
    EXPECT_STREQ(SaverName, "");
}

}  // namespace
