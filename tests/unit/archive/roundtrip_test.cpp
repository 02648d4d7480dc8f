// The real pieces together: the writer's archives read back by the reader and by sspack, and a
// build of several entries run under every single read and write fault.
#include <stdlib.h>

#include <gtest/gtest.h>

#include "archive/extract.h"
#include "archive/reader.h"
#include "archive/sticky_error.h"
#include "archive/writer.h"
#include "platform/host/host.h"
#include "tests/unit/archive/archive_helpers.h"

namespace {

// The content of each entry of the build below, as a reader must see it in the output.
struct Expected {
    const char* name;
    Bytes content;
};

class RoundTrip : public ArchiveTest {
  protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        Bytes scrambled_saver = saver;
        for (uint8_t& b : scrambled_saver)
            b ^= 0x4B;
        Bytes scrambled_addtl = addtl;
        for (uint8_t& b : scrambled_addtl)
            b ^= 0x19;
        const std::vector<TestEntry> entries = {
            {"SAVER", scrambled_saver, kMethodStored, 0x4B},
            {"STUB", CompressedBytes(stub), kMethodCompressed, 0,
             static_cast<uint32_t>(stub.size())},
            {"MOVIE", CompressedBytes(movie), kMethodCompressed, 0,
             static_cast<uint32_t>(movie.size())},
            {"ADDTL1", scrambled_addtl, kMethodStored, 0x19},
            {"LABEL", BytesOf("inline"), kMethodInline},
        };
        WriteWholeFile(Source(), BuildTestArchive(PseudoRandomBytes(3000, 99), entries));
    }

    std::string Source() const { return dir.File("installer.exe"); }
    std::string Out() const { return dir.File("saver.scr"); }

    // The installer's sequence of copies, with the latch armed. 1 when the latch stayed clear.
    int Build() {
        SetStickyErrorMode(1);
        OpenArchive(Source().c_str());
        writer = CreateArchive(Out().c_str());
        CopyEntry("SAVER", Decompress | Unscramble);
        CopyEntry("STUB", Decompress);
        CopyEntry("MOVIE", Decompress);
        AddEntryFromMemory(info.data(), static_cast<uint32_t>(info.size()), "INFO", Compress);
        AliasRecord("PREVIEWB", "MOVIE");
        CopyEntry("ADDTL1", 0);
        CloseArchive(writer);
        writer = kInvalidFile;
        CloseArchive(ReaderHandle());
        return StickyError.latched ? 0 : 1;
    }

    // Opens the output and compares every entry with what the build put in. Empty when sound.
    std::string CheckOutput() {
        SetStickyErrorMode(0);
        if (OpenArchive(Out().c_str()) == kInvalidFile) return "output does not open";
        const Expected expected[] = {{"SAVER", saver}, {"STUB", stub},      {"MOVIE", movie},
                                     {"INFO", info},   {"PREVIEWB", movie}, {"ADDTL1", addtl}};
        std::string damage;
        for (const Expected& e : expected) {
            bool ok = false;
            if (EntryContent(e.name, &ok) != e.content || !ok) damage += std::string(e.name) + " ";
        }
        if (ReaderRecordCount() != 6) damage += "count ";
        if (Slice(ReadWholeFile(Out()), 0, static_cast<uint32_t>(saver.size())) != saver)
            damage += "SAVER not plain at offset 0 ";
        CloseArchive(ReaderHandle());
        return damage;
    }

    Bytes saver = PseudoRandomBytes(40000, 1);  // several chunks
    Bytes stub = BytesOf(std::string(9000, 's') + "stub");
    Bytes movie = PseudoRandomBytes(23000, 3);  // two full blocks and a final one
    Bytes info = BytesOf(std::string(6148 - 5, 'i') + "INFO.");
    Bytes addtl = PseudoRandomBytes(777, 4);
};

TEST_F(RoundTrip, BuildOpensAndReadsBack) {
    ASSERT_EQ(Build(), 1);
    EXPECT_EQ(CheckOutput(), "");
}

#ifdef SSPACK_PATH
TEST_F(RoundTrip, SspackVerifiesAndExtracts) {
    ASSERT_EQ(Build(), 1);
    const std::string sspack = SSPACK_PATH;
    EXPECT_EQ(system((sspack + " verify " + Out() + " > /dev/null").c_str()), 0);
    EXPECT_EQ(system((sspack + " list --json " + Out() + " > /dev/null").c_str()), 0);
    ASSERT_EQ(
        system((sspack + " extract " + Out() + " -o " + dir.File("x") + " > /dev/null").c_str()),
        0);
    EXPECT_EQ(ReadWholeFile(dir.File("x/SAVER")), saver);
    EXPECT_EQ(ReadWholeFile(dir.File("x/PREVIEWB")), movie);
    EXPECT_EQ(ReadWholeFile(dir.File("x/INFO")), info);

    // One flipped bit in INFO's block stream is damage that verify names.
    Bytes file = ReadWholeFile(Out());
    ASSERT_EQ(OpenArchive(Out().c_str()) != kInvalidFile, true);
    const DirectoryRecord* info_record = FindRecord("INFO", kClassNormal);
    ASSERT_NE(info_record, nullptr);
    file[info_record->data_offset + 100] ^= 0x10;
    CloseArchive(ReaderHandle());
    WriteWholeFile(dir.File("bad.scr"), file);
    EXPECT_NE(system((sspack + " verify " + dir.File("bad.scr") + " > /dev/null 2>&1").c_str()), 0);
    EXPECT_NE(system((sspack + " extract " + dir.File("bad.scr") + " INFO -o " + dir.File("y") +
                      " > /dev/null 2>&1")
                         .c_str()),
              0);
    EXPECT_FALSE(FileExists(dir.File("y/INFO"))) << "a damaged entry leaves no partial file";
}

// Entry names that would reach outside the output folder, or mean a device, are refused before
// anything is written.
TEST_F(RoundTrip, SspackRefusesHostileNames) {
    const std::string sspack = SSPACK_PATH;
    for (const char* name :
         {"../evil", "..", "a/b", "a\\b", "c:x", "con", "nul.txt", "bell\a", "dot.", "/etc"}) {
        WriteWholeFile(dir.File("h.arc"),
                       BuildTestArchive({}, {{"GOOD", BytesOf("good")}, {name, BytesOf("evil")}}));
        EXPECT_NE(system((sspack + " extract " + dir.File("h.arc") + " -o " + dir.File("out/x") +
                          " > /dev/null 2>&1")
                             .c_str()),
                  0)
            << name;
        EXPECT_FALSE(FileExists(dir.File("out"))) << name;
        EXPECT_FALSE(FileExists(dir.File("evil"))) << name;
    }
}

TEST_F(RoundTrip, SspackExtractDoesNotFollowALinkOutOfTheFolder) {
    const std::string sspack = SSPACK_PATH;
    WriteWholeFile(dir.File("h.arc"), BuildTestArchive({}, {{"GOOD", BytesOf("good")}}));
    WriteWholeFile(dir.File("target"), BytesOf("keep"));
    ASSERT_EQ(system(("mkdir " + dir.File("out") + " && ln -s " + dir.File("target") + " " +
                      dir.File("out/GOOD"))
                         .c_str()),
              0);
    EXPECT_EQ(system((sspack + " extract " + dir.File("h.arc") + " -o " + dir.File("out") +
                      " > /dev/null")
                         .c_str()),
              0);
    EXPECT_EQ(ReadWholeFile(dir.File("target")), BytesOf("keep"));
    EXPECT_EQ(ReadWholeFile(dir.File("out/GOOD")), BytesOf("good"));
}
#endif

// Every write and every read of the build made to fail in turn, cut to nothing and cut short:
// each run either succeeds with an output that reads back whole, or fails with the latch set.
TEST_F(RoundTrip, EveryFaultFailsOrSucceedsWhole) {
    HostResetFaults();
    ASSERT_EQ(Build(), 1);
    const HostCall kinds[] = {kHostWrite, kHostRead, kHostSeek, kHostOpenRead, kHostCreateWrite};
    constexpr int kKinds = sizeof kinds / sizeof kinds[0];
    int calls[kKinds];
    for (int i = 0; i < kKinds; ++i)
        calls[i] = HostCallCount(kinds[i]);
    ASSERT_GT(calls[0], 5);
    ASSERT_GT(calls[1], 5);
    int failures = 0, successes = 0;
    for (int i = 0; i < kKinds; ++i) {
        const HostCall kind = kinds[i];
        // The last round asks for a call that never comes: that build must succeed.
        for (int nth = 1; nth <= calls[i] + 1; ++nth) {
            for (uint32_t short_count : {0u, 1u, 9u}) {
                HostReset();
                HostFailCall(kind, nth, short_count);
                const int built = Build();
                const std::string tag = "call kind " + std::to_string(kind) + " #" +
                                        std::to_string(nth) + " short " +
                                        std::to_string(short_count);
                HostResetFaults();
                if (built) {
                    ++successes;
                    EXPECT_EQ(CheckOutput(), "") << tag << ": success over damaged data";
                } else {
                    ++failures;
                    EXPECT_EQ(StickyError.latched, 1) << tag;
                }
            }
        }
    }
    EXPECT_GT(failures, 0);
    EXPECT_GE(successes, 3 * kKinds);
}

TEST_F(RoundTrip, DiskThatFillsAnywhere) {
    HostResetFaults();
    ASSERT_EQ(Build(), 1);
    const uint64_t size = ReadWholeFile(Out()).size();
    for (uint64_t limit = 0; limit <= size; limit += size / 97 + 1) {
        HostReset();
        HostSetDiskLimit(limit);
        const int built = Build();
        HostResetFaults();
        EXPECT_EQ(built, 0) << "disk of " << limit << " bytes";
        EXPECT_EQ(StickyError.latched, 1) << "disk of " << limit << " bytes";
    }
    HostReset();
    HostSetDiskLimit(size);
    EXPECT_EQ(Build(), 1) << "a disk of exactly the size";
    HostResetFaults();
    EXPECT_EQ(CheckOutput(), "");
}

}  // namespace
